#include "tools/nic_list_writer.h"

#include <vector>

#include "xml/xml.h"

namespace zadiroz {
namespace {

std::string Escaped(const std::string& text) {
  std::vector<char> buffer(escapedLength(text.c_str()) + 1);
  escapeXmlText(buffer.data(), text.c_str());
  return std::string(buffer.data());
}

// One `<name value="..."/>` line, or `<name/>` for a bare field.
void ValueLine(std::string* out, const char* indent, const std::string& name,
               const std::string& value, bool bare) {
  *out += indent;
  *out += "<" + name;
  if (!bare) *out += " value=\"" + Escaped(value) + "\"";
  *out += "/>\n";
}

void RenderAdapter(const AdapterSpec& adapter, const FlashState& state, std::string* out) {
  std::map<std::string, std::string> values = adapter.values;
  auto flashed = state.find(adapter.Location());
  if (flashed != state.end()) {
    values["firmware_id"] = flashed->second;
    if (values.count("version")) values["version"] = flashed->second;
  }
  if (!adapter.omit.count("fw_type") && !values.count("fw_type")) values["fw_type"] = "ROM";

  // A field is written when it has a value or is listed as bare.
  auto field_line = [&](const char* indent, const std::string& field, const std::string& name) {
    const bool bare = adapter.bare.count(field) != 0;
    auto it = values.find(field);
    if (it == values.end() && !bare) return;
    ValueLine(out, indent, name, bare ? std::string() : it->second, bare);
  };
  *out += "    <device>\n";
  for (const char* field : kDeviceFields) field_line("      ", field, field);
  if (!adapter.omit.count("fw_item")) {
    *out += "      <fw_item>\n";
    for (const char* field : kFwItemFields) {
      const std::string name = field;
      if (name == "fw_type" && adapter.omit.count("fw_type")) continue;
      field_line("        ", name, name == "fw_type" ? "type" : name);
    }
    *out += "      </fw_item>\n";
  }
  *out += "    </device>\n";
}

}  // namespace

std::string RenderNicList(const Scenario& scenario, const FlashState& state) {
  const NicListSpec& top = scenario.nic_list;
  std::string out = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
  out += "<kx_rom_discovery version=\"" + Escaped(top.root_version) + "\">\n";
  if (top.type_position == "first") ValueLine(&out, "  ", "type", top.type, false);
  if (top.has_version) ValueLine(&out, "  ", "version", top.version, false);
  if (top.has_takes_effect) ValueLine(&out, "  ", "takes_effect", top.takes_effect, false);
  out += "  <devices>\n";
  for (const AdapterSpec& adapter : scenario.adapters) RenderAdapter(adapter, state, &out);
  out += "  </devices>\n";
  if (top.type_position == "last") ValueLine(&out, "  ", "type", top.type, false);
  out += "</kx_rom_discovery>\n";
  return out;
}

}  // namespace zadiroz
