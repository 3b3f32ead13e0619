// Tests of what only the Windows side of the operating-system layer does.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/os.h"
#include "platform/windows/log_folder_access.h"
#include "tests/support/files.h"

namespace {

// Checks an access list against the one the log folders get: protected,
// full control for Administrators and SYSTEM, read access for users.
void ExpectLogFolderAccess(PSECURITY_DESCRIPTOR descriptor) {
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
  EXPECT_NE(control & SE_DACL_PROTECTED, 0);
  BOOL present = FALSE, defaulted = FALSE;
  PACL acl = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted));
  ASSERT_TRUE(present);
  ASSERT_NE(acl, nullptr);
  struct Expected {
    WELL_KNOWN_SID_TYPE who;
    ACCESS_MASK mask;
  } expected[] = {{WinBuiltinAdministratorsSid, FILE_ALL_ACCESS},
                  {WinLocalSystemSid, FILE_ALL_ACCESS},
                  {WinBuiltinUsersSid, FILE_GENERIC_READ | FILE_GENERIC_EXECUTE}};
  ASSERT_EQ(acl->AceCount, 3);
  for (DWORD i = 0; i < 3; ++i) {
    void* entry = nullptr;
    ASSERT_TRUE(GetAce(acl, i, &entry));
    auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(entry);
    EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(ace->Header.AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE),
              OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
    EXPECT_TRUE(IsWellKnownSid(reinterpret_cast<PSID>(&ace->SidStart), expected[i].who)) << i;
    EXPECT_EQ(ace->Mask, expected[i].mask) << i;
  }
}

// Wine keeps no access list on a file: it shows one made from the Unix mode.
bool KeepsAccessLists() {
  return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") == nullptr;
}

// The log folders the program makes carry an access list of their own. Read
// back from the folders on Windows; under Wine, from the descriptor they are
// created with.
TEST(OsWindowsTest, LogFoldersAreMadeWithTheirOwnAccessList) {
  PSECURITY_DESCRIPTOR made_with = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(
      os::kLogFolderAccess, SDDL_REVISION_1, &made_with, nullptr));
  ExpectLogFolderAccess(made_with);
  LocalFree(made_with);

  const ScratchDirectory drive("log-acl");
  const std::string system_folder = (drive.path() / "zpxsystem").string();
  std::FILE* file = os::OpenLogForAppend(system_folder + "\\log\\veskor.log", true);
  ASSERT_NE(file, nullptr);
  std::fputs("line\n", file);
  std::fclose(file);
  EXPECT_EQ(ReadFileBytes(system_folder + "\\log\\veskor.log"), "line\r\n");
  if (!KeepsAccessLists()) return;
  for (const std::string& folder : {system_folder, system_folder + "\\log"}) {
    SCOPED_TRACE(folder);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(GetNamedSecurityInfoA(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                    nullptr, nullptr, nullptr, nullptr, &descriptor),
              static_cast<DWORD>(ERROR_SUCCESS));
    ExpectLogFolderAccess(descriptor);
    LocalFree(descriptor);
  }
}

// A log file with a second name elsewhere is not written through.
TEST(OsWindowsTest, LogWithAnotherHardLinkIsNotOpened) {
  const ScratchDirectory drive("log-links");
  const std::string log_folder = (drive.path() / "zpxsystem" / "log").string();
  std::FILE* file = os::OpenLogForAppend(log_folder + "\\veskor.log", true);
  ASSERT_NE(file, nullptr);
  std::fclose(file);
  const std::string other = (drive.path() / "other.txt").string();
  ASSERT_TRUE(CreateHardLinkA(other.c_str(), (log_folder + "\\veskor.log").c_str(), nullptr));
  EXPECT_EQ(os::OpenLogForAppend(log_folder + "\\veskor.log", false), nullptr);
  EXPECT_EQ(ReadFileBytes(other), "");
}

// The way to a report is judged by owners and access lists from the drive
// root down. Under Wine the lists come from the Unix modes: the scratch
// folder is the test user's own, and /tmp (Z:\tmp) lets everyone write.
TEST(OsWindowsTest, ReportPathIsJudgedByAccessLists) {
  const ScratchDirectory scratch("report-path");
  const std::string folder = scratch.path().string();
  struct Case {
    std::string path;
    os::ReportPathVerdict verdict;
  } cases[] = {
      {folder + "\\r.xml", os::ReportPathVerdict::kSound},
      {folder + "\\missing\\r.xml", os::ReportPathVerdict::kFolderMissing},
      {folder + "\\r\".xml", os::ReportPathVerdict::kHoldsQuote},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const os::ReportPathCheck check = os::CheckReportPath(c.path);
    EXPECT_EQ(check.verdict, c.verdict) << os::ReportPathProblem(check);
  }
  if (!KeepsAccessLists() && GetFileAttributesA("Z:\\tmp") != INVALID_FILE_ATTRIBUTES) {
    EXPECT_EQ(os::CheckReportPath("Z:\\tmp\\r.xml").verdict,
              os::ReportPathVerdict::kFolderOpenToOthers);
  }
}

}  // namespace
