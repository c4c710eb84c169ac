// pelmora-tool kind of the 8-bit blend tables "bmp\hbt\hbtNN.dat": 256 rows
// of 256 palette numbers (no version word), read through the display's own
// blend table reader, which takes a file's first 65,536 bytes and refuses a
// shorter one; `check` says how many bytes after the table are not read.
#include <cstring>
#include <string>
#include <vector>

#include "gfx/palette_tools.h"
#include "record_kinds.h"

namespace tool {

// A blend table as a record with no fields: its rows.
class cBlendTableFile : public cRecord {
 public:
  PELMORA_RECORD_CLASS(cBlendTableFile)
  // Row a holds the mixes of palette colour a with colours 0..255.
  void DumpLists(cJsonWriter& json) override {
    json.Key("rows");
    json.BeginArray();
    for (size_t a = 0; a < kRowLength; ++a) {
      json.BeginArray();
      for (size_t b = 0; b < kRowLength; ++b) json.UInt(m_Table[a * kRowLength + b]);
      json.EndArray();
    }
    json.EndArray();
  }
  static constexpr size_t kRowLength = 256;
  std::vector<uint8_t> m_Table = std::vector<uint8_t>(kBlendTableBytes);
  size_t m_nFileBytes = kBlendTableBytes;  // the file's size: what is past the table is not read
};

namespace {

RecordKindRegistrar blendTable(RecordKind{
    .name = "blendtable",
    .matches = [](const std::string& n) { return n.size() > 3 && NameIs(n.substr(0, 3), "hbt") && NameEndsWith(n, ".dat"); },
    .make = [] { return std::unique_ptr<cRecord>(std::make_unique<cBlendTableFile>()); },
    .load =
        [](cRecord& r, const std::string& bytes) {
          cBlendTableFile& table = static_cast<cBlendTableFile&>(r);
          table.m_nFileBytes = bytes.size();
          return DDBlendTableFromBytes(table.m_Table.data(), reinterpret_cast<const uint8_t*>(bytes.data()),
                                       bytes.size());
        },
    .save =
        [](cRecord& r, cDataWriter& out) {
          const std::vector<uint8_t>& table = static_cast<cBlendTableFile&>(r).m_Table;
          out.Write(table.data(), table.size());
        },
    .versioned = false,
    .counts =
        [](cRecord& r) {
          const size_t after = static_cast<cBlendTableFile&>(r).m_nFileBytes - kBlendTableBytes;
          return "entries " + std::to_string(kBlendTableBytes) + " (256 x 256)" +
                 (after > 0 ? "; the " + std::to_string(after) + " byte(s) after them are not read" : "");
        },
    .refusal =
        [](const std::string& bytes) {
          return "it is " + std::to_string(bytes.size()) + " bytes, and a blend table is " +
                 std::to_string(kBlendTableBytes) + " (256 x 256)";
        }});

}  // namespace
}  // namespace tool
