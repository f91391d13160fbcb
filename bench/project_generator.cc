#include "project_generator.h"

#include <array>
#include <cstdio>
#include <stdexcept>
#include <string_view>

namespace kefconvert::bench {
namespace {

// splitmix64: small, fast, and the same sequence on every platform
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  /// A number in [low, high].
  std::uint32_t Between(std::uint32_t low, std::uint32_t high) {
    return low + static_cast<std::uint32_t>(Next() % (high - low + 1));
  }
  /// True with the chance `percent` in 100.
  bool Chance(std::uint32_t percent) { return Next() % 100 < percent; }
  template <typename T, std::size_t N>
  const T& Pick(const std::array<T, N>& items) {
    return items[Next() % N];
  }

 private:
  std::uint64_t state_;
};

// Buffers the text and writes it in large blocks.
class Writer {
 public:
  explicit Writer(const std::string& path) : file_(std::fopen(path.c_str(), "wb")) {
    if (file_ == nullptr) throw std::runtime_error("cannot create " + path);
    buffer_.reserve(kBlock + 4096);
  }
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;
  ~Writer() {
    if (file_ != nullptr) std::fclose(file_);
  }

  void Text(std::string_view text) { buffer_.append(text); }
  void EndLine() {
    buffer_.append("\r\n");
    ++lines_;
    if (buffer_.size() >= kBlock) Flush();
  }
  void Line(std::string_view text) {
    Text(text);
    EndLine();
  }
  void Setting(std::string_view key, std::string_view value) {
    Text(key);
    Text("=");
    Text(value);
    EndLine();
  }
  std::uint64_t bytes() const { return written_ + buffer_.size(); }
  std::uint64_t lines() const { return lines_; }

  void Close() {
    Flush();
    if (std::fclose(file_) != 0) throw std::runtime_error("cannot write the project");
    file_ = nullptr;
  }

 private:
  static constexpr std::size_t kBlock = 1 << 20;
  void Flush() {
    if (std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) {
      throw std::runtime_error("cannot write the project");
    }
    written_ += buffer_.size();
    buffer_.clear();
  }

  std::FILE* file_;
  std::string buffer_;
  std::uint64_t written_ = 0;
  std::uint64_t lines_ = 0;
};

constexpr std::array<std::string_view, 12> kWords = {"Customer", "Order",    "Product",  "Invoice",
                                                     "Supplier", "Category", "Employee", "Region",
                                                     "Shipper",  "Payment",  "Address",  "Contact"};
// "Stra\337e" is a name with a byte above 0x7F (sharp s in code page 1252)
constexpr std::array<std::string_view, 10> kFieldWords = {
    "ID", "Name", "Date", "Price", "Qty", "Notes", "E-Mail", "Stra\337e", "Phone", "Total"};
// ADO type codes as projects hold them: mostly integers, strings and dates
constexpr std::array<std::string_view, 16> kTypeCodes = {"3",   "3",  "202", "202", "202", "200",
                                                         "135", "7",  "11",  "5",   "131", "20",
                                                         "203", "72", "6",   "17"};
constexpr std::array<std::string_view, 6> kCaptions = {
    "Name", "Price & Tax", "\"Special\" offer", "Qty > 0", "<b>Total</b>", "Notes"};
constexpr std::array<std::string_view, 4> kSqlContinuations = {
    "WHERE p.Discontinued = 0 AND c.CategoryID <> 3", "ORDER BY p.ProductName", "",
    "GROUP BY c.CategoryName HAVING COUNT(*) > 1"};

// Keys of a field section in the order hosts write them, after Seq, Name and Type.
constexpr std::array<std::string_view, 51> kFieldKeys = {"Support",
                                                         "Size",
                                                         "UniqueIdx",
                                                         "ZeroLen",
                                                         "Req",
                                                         "Attribute",
                                                         "Required",
                                                         "PopCalendar",
                                                         "Generate",
                                                         "List",
                                                         "View",
                                                         "Edit",
                                                         "Add",
                                                         "Search",
                                                         "SearchOpr",
                                                         "Caption",
                                                         "ViewTag",
                                                         "HtmlTag",
                                                         "TagSize",
                                                         "TagMaxLength",
                                                         "TagSelectType",
                                                         "TagLnkDistinct",
                                                         "TagCols",
                                                         "TagRows",
                                                         "TagImgWidth",
                                                         "TagImgHeight",
                                                         "TagAPrefix",
                                                         "TagBold",
                                                         "TagItalic",
                                                         "TagFmtType",
                                                         "TagDtFormat",
                                                         "TagNumDigits",
                                                         "TagIncLeadDigit",
                                                         "TagUseParen",
                                                         "TagGpDigits",
                                                         "Min",
                                                         "Max",
                                                         "ErrMsg",
                                                         "Validate",
                                                         "Default",
                                                         "Order",
                                                         "TagValues",
                                                         "TagLnkTbl",
                                                         "TagLnkFld",
                                                         "TagLnkDisplay",
                                                         "TagLnkDisp2",
                                                         "TagLnkOrderBy",
                                                         "TagLnkOrderType",
                                                         "TagAType",
                                                         "TagATarget",
                                                         "TagASuffix"};

void WriteProjectSection(Writer& out) {
  out.Line("<Project>");
  out.Setting("Version", "1.2");
  out.Setting("Name", "Shop \"Neu\" & Co");
  out.Setting("LeftMargin", "5");
  out.Setting("TopMargin", "0");
  out.Setting("SecurityVar", "shop_user");
  out.Setting("TimeOut", "20");
  out.Line(" Title = Shop <Admin>   ");
  out.Setting("Font", "Arial, Helvetica, sans-serif");
  out.Setting("BgColor", "#F0F0F0");
  out.Setting("TextColor", "#000000");
  out.Setting("LnkColor", "#0000FF");
  out.Setting("VLnkColor", "#800080");
  out.Setting("ALnkColor", "#FF0000");
  out.Setting("Size", "2");
  out.Setting("ProjLang", "ASP");
  out.Setting("DBCnt", "1");
  out.Setting("defaultDateFormat", "dd/mm/yyyy");
  out.Setting("SecTbl", "Customer 1");
  out.Setting("SecUserID", "login");
  out.Setting("SecUserIDFld", "Customer E-Mail");
  out.Setting("P_DosFormat", "True");
  out.Setting("P_CGIPath", "C:\\Inetpub\\scripts\\");
  out.Setting("LastGenerated", "2003-04-01 12:00:00");
  out.Line("");
}

void WriteDatabaseSection(Writer& out) {
  out.Line("<Database>");
  out.Setting("Name", "");
  out.Setting("Type", "MySQL");
  out.Setting("Path", "localhost");
  out.Setting("UID", "admin");
  out.Setting("PWD", "s3cr\"t&");
  out.Setting("UseServerMapPath", "False");
  out.Line("PhyPath =C:\\Data\\Shop\\shop.mdb");
  out.Setting("ADOVer", "2.7");
  out.Setting("DBMSName", "MySQL");
  out.Setting("DBMSVer", "4.0.12");
  out.Setting("OLEDBVer", "02.70");
  out.Setting("ProviderName", "MSDASQL.1");
  out.Setting("ProviderVer", "02.70.9001");
  out.Setting("TblCnt", "0");
  out.Setting("Schema", "");
}

std::string TableName(Random& random, std::uint32_t table) {
  if (table == 1) return "Customer 1";  // the security table
  return std::string(random.Pick(kWords)) + " " + std::to_string(table);
}

void WriteTable(Writer& out, Random& random, std::uint32_t table, std::uint32_t fields) {
  std::string name = TableName(random, table);
  out.Line("<Table>");
  out.Setting("Seq", std::to_string(table));
  out.Setting("Name", name);
  out.Setting("Type", random.Chance(80) ? "TABLE" : "VIEW");
  out.Setting("Key", "ID");
  out.Setting("Gen", "True");
  out.Setting("View", "True");
  out.Setting("Edit", random.Chance(70) ? "True" : "False");
  out.Setting("Add", "True");
  out.Line(" Delete=True ");
  out.Setting("Caption", name + " & more");
  out.Setting("Updatable", "True");
  out.Line("SearchType =2");
  out.Setting("FieldCnt", std::to_string(fields));
  out.Setting("RecPerPage", "20");
  out.Setting("DefaultTable", table == 1 ? "True" : "False");
  if (random.Chance(25)) {
    out.Line("TblSQL  =   SELECT p.ProductID, p.ProductName, c.CategoryName FROM products p");
    for (std::uint32_t n = random.Between(1, 4); n > 0; --n) {
      out.Line(random.Pick(kSqlContinuations));
    }
    out.Setting("TblError", "0");
  }
  out.Setting("SQL", "SELECT * FROM [" + name + "]");
  out.Setting("Error", "");
  out.Setting("Where", "");
}

std::string FieldName(Random& random, std::uint32_t table, std::uint32_t field) {
  if (table == 1 && field == 2) return "Customer E-Mail";  // the login-id field
  return std::string(random.Pick(kWords)) + " " + std::string(random.Pick(kFieldWords));
}

std::string FieldValue(Random& random, std::string_view key, const std::string& name) {
  if (key == "Caption") return name + " " + std::string(random.Pick(kCaptions));
  if (key == "ErrMsg") return "Please enter a value > 0 & < 100 for \"" + name + "\"";
  if (key == "Validate") return "^[0-9]{1,10}$";
  if (key == "TagValues") return "1,\"One\";2,\"Two\";3,\"Three\"";
  if (key == "Default") return random.Chance(50) ? "" : "N/A";
  if (key == "TagLnkTbl" || key == "TagLnkDisplay") return std::string(random.Pick(kWords));
  if (key == "Size" || key == "TagSize" || key == "TagMaxLength" || key == "Attribute" ||
      key == "TagCols" || key == "TagRows" || key == "Order" || key == "Min" || key == "Max" ||
      key == "TagImgWidth" || key == "TagImgHeight" || key == "TagNumDigits") {
    return std::to_string(random.Between(0, 255));
  }
  if (key == "SearchOpr") return random.Chance(50) ? "=" : "LIKE";
  if (key == "ViewTag" || key == "HtmlTag") return random.Chance(50) ? "TEXT" : "SELECT";
  return random.Chance(60) ? "True" : "False";
}

void WriteField(Writer& out, Random& random, std::uint32_t table, std::uint32_t field) {
  std::string name = FieldName(random, table, field);
  out.Line("<Field>");
  out.Setting("Seq", std::to_string(field));
  out.Setting("Name", name);
  out.Setting("Type", table == 1 && field == 2 ? "202" : random.Pick(kTypeCodes));
  // 30 to 50 settings in all: keep each further key with the chance that gives that many
  std::uint32_t wanted = random.Between(27, 47);
  std::uint32_t left = static_cast<std::uint32_t>(kFieldKeys.size());
  for (std::string_view key : kFieldKeys) {
    if (random.Next() % left-- >= wanted) continue;
    --wanted;
    std::string value = FieldValue(random, key, name);
    if (random.Chance(3)) {
      out.Text("  ");  // stray blanks that trimming removes
      out.Text(key);
      out.Text(" = ");
      out.Text(value);
      out.Line("  ");
    } else {
      out.Setting(key, value);
    }
  }
  if (random.Chance(10)) out.Setting("LastModified", "2003-04-01 12:00:00");
  if (random.Chance(5)) out.Line("   ");
}

}  // namespace

GeneratedProject GenerateProject(const std::string& path, std::uint64_t target_bytes,
                                 std::uint64_t seed) {
  Random random(seed);
  Writer out(path);
  GeneratedProject project;
  WriteProjectSection(out);
  WriteDatabaseSection(out);
  while (out.bytes() < target_bytes && project.tables < 32767) {
    ++project.tables;
    std::uint32_t fields = random.Between(4, 40);
    WriteTable(out, random, project.tables, fields);
    for (std::uint32_t field = 1; field <= fields; ++field) {
      WriteField(out, random, project.tables, field);
    }
    project.fields += fields;
  }
  project.bytes = out.bytes();
  project.lines = out.lines();
  out.Close();
  return project;
}

GeneratedProject GenerateManyTables(const std::string& path, std::uint32_t tables) {
  Random random(7);
  Writer out(path);
  GeneratedProject project;
  WriteProjectSection(out);
  WriteDatabaseSection(out);
  for (std::uint32_t table = 1; table <= tables; ++table) {
    out.Line("<Table>");
    out.Setting("Seq", std::to_string(table));
    out.Setting("Name", TableName(random, table));
    out.Setting("Type", "TABLE");
    out.Setting("FieldCnt", "0");
  }
  project.tables = tables;
  project.bytes = out.bytes();
  project.lines = out.lines();
  out.Close();
  return project;
}

}  // namespace kefconvert::bench
