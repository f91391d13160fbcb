' Converts each file named on the command line with a fresh component object, as the
' kefconvert tool does, and prints one line per file: "NAME: ok", "NAME: null" or
' "NAME: error NUMBER".
'
' usage: cscript //nologo convert_files.vbs FOLDER NAME...
Option Explicit

Dim dir, i, name, c, r
dir = WScript.Arguments(0)
For i = 1 To WScript.Arguments.Count - 1
  name = WScript.Arguments(i)
  Set c = CreateObject("KEFConvert.Convert")
  On Error Resume Next
  r = c.ConvertProject(dir & "\" & name)
  If Err.Number <> 0 Then
    WScript.Echo name & ": error " & Err.Number
  ElseIf IsNull(r) Then
    WScript.Echo name & ": null"
  Else
    WScript.Echo name & ": ok"
  End If
  Err.Clear
  On Error GoTo 0
  Set c = Nothing
Next
