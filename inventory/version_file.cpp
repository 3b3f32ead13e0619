#include "inventory/version_file.h"

#include "platform/text_helpers.h"
#include "ui/names.h"
#include "xml/xml.h"

namespace {

// A parentless element carrying one attribute.
XmlElement MakeValueElement(const char* element_name, const char* attribute_name,
                            const std::string& value) {
  XmlElement element = createRootElement(element_name, false);
  appendAttr(element, attribute_name, value.c_str());
  return element;
}

}  // namespace

void WriteVersionOnlyFile(RunState& state, const std::string& current_version,
                          const SupportedNic& matched, const std::string& takes_effect) {
  char own_version[64] = {0};
  GetOwnFileVersion(own_version, sizeof own_version);

  XmlElement root = createRootElement("kx_rom_discovery", false);
  appendAttr(root, "version", own_version);
  const struct {
    const char* name;
    std::string value;
  } rows[] = {
      {"type", "REDEVI_NIC"},
      {"alt_name", kProductTitle},
      {"current_version", current_version},
      {"package_version", matched.rom},
      {"takes_effect", takes_effect},
  };
  for (const auto& row : rows) {
    attachElement(root, MakeValueElement(row.name, "value", row.value), -1);
  }

  // VersionOnlyMode judges the outcome by whether the file exists.
  saveXmlFile(root, state.report_path.c_str(), nullptr, true);

  char* rendered = renderXml(root, true, nullptr);
  state.ui->Write("Created an XML file with only FW version information!\n%s\n",
                  rendered != nullptr ? rendered : "");
  releaseXmlText(rendered);
}
