// The access list of the folders the log lies in (Windows build only).
#ifndef KX_PLATFORM_WINDOWS_LOG_FOLDER_ACCESS_H_
#define KX_PLATFORM_WINDOWS_LOG_FOLDER_ACCESS_H_

namespace os {

/// Administrators (BA) and SYSTEM (SY) have full control, users (BU) may read
/// and list (0x1200a9: read, execute, synchronize); protected (P), so nothing
/// is inherited from the drive root, whose default lets every authenticated
/// user change new folders. Inherited by what is made inside (OICI).
inline constexpr char kLogFolderAccess[] =
    "D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)";

}  // namespace os

#endif  // KX_PLATFORM_WINDOWS_LOG_FOLDER_ACCESS_H_
