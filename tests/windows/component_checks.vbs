' Drives the registered component as a script host does: created by ProgID, called
' late-bound by name. Prints one line per check; the test compares the lines, because under
' Wine a runtime error outside On Error Resume Next ends a script silently with status 0.
'
' usage: cscript //nologo component_checks.vbs FOLDER NAME
' FOLDER holds a copy of the corpus and a copy of shop.kef as NAME.kef, where NAME has
' characters outside the ANSI code page.
Option Explicit

Dim dir, unicodeName, fso, c, p, before, r
dir = WScript.Arguments(0)
unicodeName = WScript.Arguments(1)
Set fso = CreateObject("Scripting.FileSystemObject")

Sub Show(label, value)
  WScript.Echo label & ": " & value
End Sub

' Where the converted file would be, with the folder written as <dir>.
Function Shown(path)
  If IsNull(path) Then
    Shown = "Null"
  Else
    Shown = Replace(path, dir, "<dir>")
  End If
End Function

' The value of attribute `name` in the first field element of `path`.
Function FirstFieldAttribute(path, name)
  Dim text, start, valueStart
  text = fso.OpenTextFile(path).ReadAll()
  start = InStr(InStr(text, "<Field "), text, " " & name & "=""")
  valueStart = start + Len(name) + 3
  FirstFieldAttribute = Mid(text, valueStart, InStr(valueStart, text, """") - valueStart)
End Function

Function FieldTypeState(path)
  FieldTypeState = "MySQLDataType=" & FirstFieldAttribute(path, "MySQLDataType") & _
      " FldBasicSearch=" & FirstFieldAttribute(path, "FldBasicSearch") & _
      " FldQuoteS=" & FirstFieldAttribute(path, "FldQuoteS") & _
      " FldQuoteE=" & FirstFieldAttribute(path, "FldQuoteE")
End Function

Set c = CreateObject("KEFConvert.Convert")
Show "created", TypeName(c)

' a variable goes by reference (VT_VARIANT | VT_BYREF)
p = dir & "\shop.kef"
before = p
r = c.ConvertProject(p)
Show "by reference: result", Shown(r)
Show "by reference: projFile unchanged", CStr(p = before) & " " & TypeName(p)
Show "by reference: converted file exists", fso.FileExists(dir & "\shop_tmp.kef")

' an expression goes by value (VT_BSTR)
r = c.ConvertProject((p))
Show "by value: result", Shown(r)

r = c.ConvertProject(dir & "\not_project.kef")
Show "not a project file: IsNull", IsNull(r)
Show "not a project file: converted file size", fso.GetFile(dir & "\not_project_tmp.kef").Size

On Error Resume Next
p = dir & "\bad_type.kef"
before = p
r = c.ConvertProject(p)
Show "bad type code: error", Err.Number & " " & Err.Description
Show "bad type code: source", Err.Source
Show "bad type code: projFile unchanged", p = before
Show "bad type code: converted file size", fso.GetFile(dir & "\bad_type_tmp.kef").Size
Err.Clear

r = c.ConvertProject(dir & "\empty.kef")
Show "empty file: error", Err.Number & " " & Err.Description
Err.Clear

r = c.ConvertProject(dir & "\missing.kef")
Show "missing file: error", Err.Number & " " & Err.Description
Err.Clear

r = c.ConvertProject(dir & "\no such folder\missing.kef")
Show "missing folder: error", Err.Number & " " & Err.Description
Err.Clear

' values that are not strings are taken as automation converts them to a string; the
' working folder is the corpus folder, where a copy of shop.kef is named 12345678
Dim shell, file, number, nothingYet
Set shell = CreateObject("WScript.Shell")
shell.CurrentDirectory = dir
fso.CopyFile dir & "\shop.kef", dir & "\12345678"
Set file = fso.GetFile(dir & "\shop.kef")
r = Empty
r = c.ConvertProject(file)
Show "Scripting.File object (its Path)", Err.Number & " " & Shown(r)
Err.Clear
r = Empty
r = c.ConvertProject(12345678)
Show "number: result", Err.Number & " " & Shown(r)
Err.Clear
number = 12345678
r = Empty
r = c.ConvertProject(number)
Show "variable holding a number: result", Err.Number & " " & Shown(r)
Show "variable holding a number: unchanged", TypeName(number) & " " & number
Err.Clear
r = c.ConvertProject(nothingYet)
Show "Empty: error", Err.Number & " " & Err.Description
Err.Clear
r = c.ConvertProject(Null)
Show "Null: error", Err.Number
Err.Clear

r = c.ConvertProject()
Show "no argument: error", Err.Number
Err.Clear

r = c.ConvertProjects(dir & "\shop.kef")
Show "unknown method: error", Err.Number
Err.Clear
On Error GoTo 0

' a name outside the ANSI code page reaches the file system intact (the name comes from
' the command line: Wine's VBScript has no ChrW)
p = dir & "\" & unicodeName & ".kef"
r = c.ConvertProject(p)
Show "unicode name: result", CStr(r = dir & "\" & unicodeName & "_tmp.kef")
Show "unicode name: converted file exists", fso.FileExists(r)

' the field type state carries over from one conversion to the next on one object only
Dim carrier, fresh
Set carrier = CreateObject("KEFConvert.Convert")
r = carrier.ConvertProject(dir & "\carry_first.kef")
r = carrier.ConvertProject(dir & "\carry_second.kef")
Show "same object, second project", FieldTypeState(r)
Set fresh = CreateObject("KEFConvert.Convert")
r = fresh.ConvertProject(dir & "\carry_second.kef")
Show "new object, same project", FieldTypeState(r)

Set c = Nothing
Set carrier = Nothing
Set fresh = Nothing
Show "done", "yes"
