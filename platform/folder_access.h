// Who may change a folder, judged from its access list: on Windows a folder
// that already exists (made by hand, or inherited beneath the drive root) can
// let every user add or remove entries even when its owner is an
// administrator. Each access entry is reduced to plain facts here, so that the
// rules are the same code on both builds, tested as a table of access lists
// written in the system's own text form (SDDL).
#ifndef KX_PLATFORM_FOLDER_ACCESS_H_
#define KX_PLATFORM_FOLDER_ACCESS_H_

#include <cstdint>
#include <string>
#include <vector>

namespace os {

/// One entry of a folder's access list.
struct AccessEntry {
  bool allow = true;          ///< an allowing entry (false: denying, or any other kind)
  bool inherit_only = false;  ///< applies to what is made inside, not to the folder
  uint32_t mask = 0;          ///< the rights it names, generic rights included
  std::string sid;            ///< the account or group, as "S-1-..."
};

/// Reads the access list of an SDDL text such as "D:P(A;OICI;FA;;;BA)(A;;0x4;;;AU)":
/// the entries of its "D:" part, well-known account letters turned into
/// "S-1-..." texts. False (and no entries) when the text has no access list
/// or an entry cannot be read.
bool ParseSddlAccessList(const std::string& sddl, std::vector<AccessEntry>* entries);

/// What accounts other than Administrators, SYSTEM, TrustedInstaller and
/// `own_sid` (the account the program runs as) may do to a folder.
struct FolderAccess {
  /// Add files or folders: as others may in /tmp, or beneath the drive root.
  bool others_may_add = false;
  /// Delete or rename entries that are not theirs, delete or rename the
  /// folder itself, or change its access list or owner.
  bool others_may_change = false;
};

/// Judges allowing entries that apply to the folder itself; denying entries
/// are not counted on, and CREATOR OWNER stands for no one until something is
/// made. A missing access list (`entries` null) lets everyone do everything.
FolderAccess JudgeFolderAccess(const std::vector<AccessEntry>* entries, const std::string& own_sid);

/// True for Administrators, SYSTEM, TrustedInstaller and `own_sid`.
bool IsTrustedSid(const std::string& sid, const std::string& own_sid);

}  // namespace os

#endif  // KX_PLATFORM_FOLDER_ACCESS_H_
