#include "tools/scenario.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "xml/xml.h"

namespace zadiroz {

const char* const kDeviceFields[11] = {"device_id",  "venid",        "devid",     "subvenid",
                                       "subdevid",   "macaddress",   "product_id", "busnumber",
                                       "devicenumber", "funcnumber", "slotnumber"};
const char* const kFwItemFields[7] = {"fw_type", "firmware_id", "version", "action",
                                      "shared",  "duration",    "message"};

namespace {

bool SameName(const char* a, const char* b) {
  if (!a || !b) return false;
  for (; *a && *b; ++a, ++b) {
    char x = *a, y = *b;
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return *a == *b;
}

std::string Lower(const char* text) {
  std::string out = text ? text : "";
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool IsField(const std::string& name) {
  for (const char* field : kDeviceFields) {
    if (name == field) return true;
  }
  for (const char* field : kFwItemFields) {
    if (name == field) return true;
  }
  return false;
}

std::set<std::string> SplitNames(const char* text) {
  std::set<std::string> names;
  std::istringstream in(Lower(text));
  std::string word;
  while (in >> word) names.insert(word);
  return names;
}

// Whole-text decimal number; false on anything else.
bool ParseNumber(const char* text, unsigned long long max, unsigned long long* value) {
  if (!text || !*text) return false;
  for (const char* p = text; *p; ++p) {
    if (*p < '0' || *p > '9') return false;
  }
  errno = 0;
  unsigned long long parsed = std::strtoull(text, nullptr, 10);
  if (errno != 0 || parsed > max) return false;
  *value = parsed;
  return true;
}

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool ReadWholeFile(const std::string& path, std::string* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream content;
  content << in.rdbuf();
  *bytes = content.str();
  return true;
}

bool LoadAdapter(const XmlElement& element, AdapterSpec* adapter, std::string* error) {
  for (int32_t i = 0; i < attributeCount(element); ++i) {
    XmlAttr attr = attributeAt(element, i);
    std::string name = Lower(attr.name);
    std::string value = attr.value ? attr.value : "";
    if (name == "omit") {
      adapter->omit = SplitNames(attr.value);
      for (const std::string& word : adapter->omit) {
        if (word != "fw_type" && word != "fw_item") {
          *error = "adapter: omit names fw_type or fw_item, not '" + word + "'";
          return false;
        }
      }
    } else if (name == "bare") {
      adapter->bare = SplitNames(attr.value);
      for (const std::string& word : adapter->bare) {
        if (!IsField(word)) {
          *error = "adapter: bare names an unknown field '" + word + "'";
          return false;
        }
      }
    } else if (IsField(name)) {
      adapter->values[name] = value;
    } else {
      *error = "adapter: unknown attribute '" + name + "'";
      return false;
    }
  }
  return true;
}

bool LoadBody(const XmlElement& element, const std::string& scenario_dir, std::string* body,
              std::string* error) {
  if (const char* hex = attributeValue(element, "body_hex", nullptr)) {
    if (!DecodeHex(hex, body)) {
      *error = "operation: body_hex is not hexadecimal bytes";
      return false;
    }
    return true;
  }
  if (const char* file = attributeValue(element, "body_file", nullptr)) {
    std::string path = file;
    bool absolute = !path.empty() && (path[0] == '/' || path[0] == '\\' ||
                                      (path.size() > 1 && path[1] == ':'));
    if (!absolute) path = scenario_dir + path;
    if (!ReadWholeFile(path, body)) {
      *error = "operation: cannot read body_file " + path;
      return false;
    }
    return true;
  }
  for (int32_t i = 0; i < sectionCount(element); ++i) {
    XmlRawSection section = sectionAt(element, i);
    if (section.openTag && std::strcmp(section.openTag, "<![CDATA[") == 0) {
      *body = section.value ? section.value : "";
      return true;
    }
  }
  const char* text = textAt(element, 0);
  *body = text ? text : "";
  return true;
}

bool LoadOperation(const XmlElement& element, const std::string& scenario_dir,
                   OperationSpec* op, std::string* error) {
  op->name = Lower(attributeValue(element, "name", nullptr));
  static const char* const kNames[] = {"discover", "list", "report", "update", "flash"};
  bool known = false;
  for (const char* name : kNames) known = known || op->name == name;
  if (!known) {
    *error = "operation: unknown name '" + op->name + "'";
    return false;
  }
  if (const char* location = attributeValue(element, "location", nullptr)) op->location = location;
  unsigned long long number = 0;
  if (const char* text = attributeValue(element, "exit", nullptr)) {
    if (!ParseNumber(text, 0xFFFFFFFFull, &number)) {
      *error = std::string("operation: bad exit '") + text + "'";
      return false;
    }
    op->has_exit = true;
    op->exit_code = static_cast<uint32_t>(number);
  }
  if (const char* text = attributeValue(element, "sleep_ms", nullptr)) {
    if (!ParseNumber(text, 3600000ull, &number)) {
      *error = std::string("operation: bad sleep_ms '") + text + "'";
      return false;
    }
    op->sleep_ms = static_cast<unsigned>(number);
  }
  if (const char* text = attributeValue(element, "signal", nullptr)) {
    if (!ParseNumber(text, 64ull, &number) || number == 0) {
      *error = std::string("operation: bad signal '") + text + "'";
      return false;
    }
    op->signal = static_cast<int>(number);
  }
  std::string fault = Lower(attributeValue(element, "fault", nullptr));
  if (fault.empty() || fault == "none") {
    op->fault = Fault::kNone;
  } else if (fault == "no_file") {
    op->fault = Fault::kNoFile;
  } else if (fault == "body") {
    op->fault = Fault::kBody;
    return LoadBody(element, scenario_dir, &op->body, error);
  } else {
    *error = "operation: unknown fault '" + fault + "'";
    return false;
  }
  return true;
}

void LoadNicList(const XmlElement& element, NicListSpec* top) {
  if (const char* v = attributeValue(element, "root_version", nullptr)) top->root_version = v;
  if (const char* v = attributeValue(element, "type", nullptr)) top->type = v;
  if (const char* v = attributeValue(element, "type_position", nullptr)) {
    top->type_position = Lower(v);
  }
  if (const char* v = attributeValue(element, "version", nullptr)) {
    top->has_version = true;
    top->version = v;
  }
  if (const char* v = attributeValue(element, "takes_effect", nullptr)) {
    top->has_takes_effect = true;
    top->takes_effect = v;
  }
}

}  // namespace

std::string AdapterSpec::Location() const {
  auto text = [this](const char* name) {
    auto it = values.find(name);
    return it == values.end() ? std::string() : it->second;
  };
  return text("busnumber") + ":" + text("devicenumber") + "." + text("funcnumber");
}

OperationSpec Scenario::Find(const std::string& name, const std::string& fallback,
                             const std::string& location) const {
  // Most specific first: the name at this location, the name anywhere, then
  // the fallback name.
  for (const OperationSpec& op : operations) {
    if (op.name == name && !op.location.empty() && op.location == location) return op;
  }
  for (const OperationSpec& op : operations) {
    if (op.name == name && op.location.empty()) return op;
  }
  for (const OperationSpec& op : operations) {
    if (!fallback.empty() && op.name == fallback && op.location.empty()) return op;
  }
  OperationSpec none;
  none.name = name;
  return none;
}

bool DecodeHex(const std::string& text, std::string* bytes) {
  bytes->clear();
  int high = -1;
  for (char c : text) {
    int digit;
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return false;
    }
    if (high < 0) {
      high = digit;
    } else {
      bytes->push_back(static_cast<char>(high * 16 + digit));
      high = -1;
    }
  }
  return high < 0;
}

bool LoadScenario(const std::string& path, Scenario* scenario, std::string* error) {
  XmlParseResult result = {kXmlSuccess, 0, 0};
  XmlElement root = parseXmlFile(path.c_str(), "zadiroz_scenario", &result);
  if (result.code != kXmlSuccess || root.isNull()) {
    *error = "cannot load scenario " + path + ": error code " + std::to_string(result.code) +
             " at line " + std::to_string(result.line);
    return false;
  }
  if (const char* v = attributeValue(root, "flash_version", nullptr)) {
    scenario->has_flash_version = true;
    scenario->flash_version = v;
  }
  scenario->require_image = Lower(attributeValue(root, "require_image", nullptr)) == "yes";
  const std::string dir = DirectoryOf(path);
  for (int32_t i = 0; i < childCount(root); ++i) {
    XmlElement child = childAt(root, i);
    const char* name = elementName(child);
    if (SameName(name, "nic_list")) {
      LoadNicList(child, &scenario->nic_list);
      const std::string& position = scenario->nic_list.type_position;
      if (position != "first" && position != "last" && position != "none") {
        *error = "nic_list: unknown type_position '" + position + "'";
        return false;
      }
    } else if (SameName(name, "adapter")) {
      AdapterSpec adapter;
      if (!LoadAdapter(child, &adapter, error)) return false;
      scenario->adapters.push_back(adapter);
    } else if (SameName(name, "operation")) {
      OperationSpec op;
      if (!LoadOperation(child, dir, &op, error)) return false;
      scenario->operations.push_back(op);
    } else if (!isDeclaration(child)) {
      *error = std::string("unknown element '") + (name ? name : "") + "'";
      return false;
    }
  }
  return true;
}

}  // namespace zadiroz
