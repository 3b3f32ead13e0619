// Portable: no operating-system calls here; both builds compile and test it.
#include "platform/folder_access.h"

#include <cstdlib>

namespace os {
namespace {

constexpr char kAdministrators[] = "S-1-5-32-544";
constexpr char kSystem[] = "S-1-5-18";
constexpr char kTrustedInstaller[] =
    "S-1-5-80-956008885-3418522649-1831038044-1847922149-1085735405";
constexpr char kCreatorOwner[] = "S-1-3-0";

// Rights of a folder, as the file system names them.
constexpr uint32_t kAddFile = 0x2;
constexpr uint32_t kAddSubfolder = 0x4;
constexpr uint32_t kDeleteChild = 0x40;
constexpr uint32_t kDelete = 0x10000;
constexpr uint32_t kWriteAccessList = 0x40000;
constexpr uint32_t kWriteOwner = 0x80000;
constexpr uint32_t kGenericAll = 0x10000000;
constexpr uint32_t kGenericWrite = 0x40000000;
constexpr uint32_t kFileAll = 0x1F01FF;
constexpr uint32_t kFileWrite = 0x120116;

// The two-letter rights of SDDL (directory-service letters name the same bits
// as the file rights: DC adds files, LC adds folders, DT deletes children).
struct Letters {
  const char* text;
  uint32_t mask;
};
constexpr Letters kRights[] = {
    {"GA", kGenericAll}, {"GR", 0x80000000}, {"GW", kGenericWrite}, {"GX", 0x20000000},
    {"RC", 0x20000},     {"SD", kDelete},    {"WD", kWriteAccessList}, {"WO", kWriteOwner},
    {"RP", 0x10},        {"WP", 0x20},       {"CC", 0x1},          {"DC", kAddFile},
    {"LC", kAddSubfolder}, {"SW", 0x8},      {"LO", 0x80},         {"DT", kDeleteChild},
    {"CR", 0x100},       {"FA", kFileAll},   {"FR", 0x120089},     {"FW", kFileWrite},
    {"FX", 0x1200A0},    {"KA", 0xF003F},    {"KR", 0x20019},      {"KW", 0x20006},
    {"KX", 0x20019},
};

// Well-known accounts by their SDDL letters.
struct Alias {
  const char* letters;
  const char* sid;
};
constexpr Alias kAliases[] = {
    {"BA", kAdministrators}, {"SY", kSystem},      {"BU", "S-1-5-32-545"}, {"BG", "S-1-5-32-546"},
    {"PU", "S-1-5-32-547"},  {"AU", "S-1-5-11"},   {"WD", "S-1-1-0"},      {"IU", "S-1-5-4"},
    {"NU", "S-1-5-2"},       {"AN", "S-1-5-7"},    {"SU", "S-1-5-6"},      {"NS", "S-1-5-20"},
    {"LS", "S-1-5-19"},      {"CO", kCreatorOwner}, {"CG", "S-1-3-1"},     {"OW", "S-1-3-4"},
    {"BO", "S-1-5-32-551"},  {"SO", "S-1-5-32-549"}, {"AC", "S-1-15-2-1"},
};

bool ParseMask(const std::string& text, uint32_t* mask) {
  *mask = 0;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    char* end = nullptr;
    const unsigned long value = std::strtoul(text.c_str() + 2, &end, 16);
    if (*end != '\0' || value > 0xFFFFFFFFul) return false;
    *mask = static_cast<uint32_t>(value);
    return true;
  }
  if (text.size() % 2 != 0) return false;
  for (size_t i = 0; i < text.size(); i += 2) {
    bool known = false;
    for (const Letters& right : kRights) {
      if (text.compare(i, 2, right.text) == 0) {
        *mask |= right.mask;
        known = true;
        break;
      }
    }
    if (!known) return false;
  }
  return true;
}

std::string SidOf(const std::string& text) {
  for (const Alias& alias : kAliases) {
    if (text == alias.letters) return alias.sid;
  }
  return text;  // "S-1-..." as it stands; an unknown alias matches no trusted account
}

// One "(type;flags;rights;object;inherited object;account)" entry.
bool ParseEntry(const std::string& text, AccessEntry* entry) {
  std::vector<std::string> fields(1);
  for (char c : text) {
    if (c == ';') {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  if (fields.size() < 6) return false;
  entry->allow = fields[0] == "A";
  const std::string& flags = fields[1];
  if (flags.size() % 2 != 0) return false;
  for (size_t i = 0; i < flags.size(); i += 2) {
    if (flags.compare(i, 2, "IO") == 0) entry->inherit_only = true;
  }
  if (!ParseMask(fields[2], &entry->mask)) return false;
  entry->sid = SidOf(fields[5]);
  return !entry->sid.empty();
}

}  // namespace

bool ParseSddlAccessList(const std::string& sddl, std::vector<AccessEntry>* entries) {
  entries->clear();
  const size_t start = sddl.find("D:");
  if (start == std::string::npos) return false;
  size_t i = start + 2;
  while (i < sddl.size() && sddl[i] != '(') {
    if (sddl[i] == ':') return false;  // the next part begins: no entries
    ++i;
  }
  while (i < sddl.size() && sddl[i] == '(') {
    const size_t close = sddl.find(')', i);
    if (close == std::string::npos) break;
    AccessEntry entry;
    if (!ParseEntry(sddl.substr(i + 1, close - i - 1), &entry)) {
      entries->clear();
      return false;
    }
    entries->push_back(entry);
    i = close + 1;
  }
  return true;
}

bool IsTrustedSid(const std::string& sid, const std::string& own_sid) {
  return sid == kAdministrators || sid == kSystem || sid == kTrustedInstaller ||
         (!own_sid.empty() && sid == own_sid);
}

FolderAccess JudgeFolderAccess(const std::vector<AccessEntry>* entries,
                               const std::string& own_sid) {
  FolderAccess access;
  if (entries == nullptr) {
    access.others_may_add = access.others_may_change = true;
    return access;
  }
  for (const AccessEntry& entry : *entries) {
    if (!entry.allow || entry.inherit_only || entry.sid == kCreatorOwner) continue;
    if (IsTrustedSid(entry.sid, own_sid)) continue;
    uint32_t mask = entry.mask;
    if (mask & kGenericAll) mask |= kFileAll;
    if (mask & kGenericWrite) mask |= kFileWrite;
    if (mask & (kAddFile | kAddSubfolder)) access.others_may_add = true;
    if (mask & (kDeleteChild | kDelete | kWriteAccessList | kWriteOwner)) {
      access.others_may_change = true;
    }
  }
  return access;
}

}  // namespace os
