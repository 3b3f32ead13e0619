#include "platform/folder_access.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/report_path_check.h"
#include "platform/run_lock_place.h"

namespace {

constexpr char kOwn[] = "S-1-5-21-1004336348-1177238915-682003330-1001";

// Access lists as the system writes them, and what other accounts may do to a
// folder that carries each.
TEST(FolderAccessTest, JudgesAccessListsAsTheSystemWritesThem) {
  struct Case {
    const char* name;
    const char* sddl;
    bool may_add;
    bool may_change;
  } cases[] = {
      // The drive root as installed: every signed-in user may add folders to
      // it, but not delete or rename what is not theirs (the Modify entry is
      // for what is made inside only).
      {"the drive root", "O:S-1-5-80-956008885-3418522649-1831038044-1847922149-1085735405"
       "D:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)(A;OICIIO;SDGXGWGR;;;AU)"
       "(A;;LC;;;AU)", true, false},
      // A folder made beneath it without an access list of its own inherits
      // Modify for every signed-in user.
      {"inherited beneath the drive root",
       "D:AI(A;ID;FA;;;BA)(A;OICIIOID;GA;;;BA)(A;ID;FA;;;SY)(A;OICIIOID;GA;;;SY)"
       "(A;OICIID;0x1200a9;;;BU)(A;ID;0x1301bf;;;AU)(A;OICIIOID;SDGXGWGR;;;AU)"
       "(A;OICIIOID;GA;;;CO)", true, true},
      {"made by the utility", "D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)", false,
       false},
      {"users may write", "D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1301bf;;;BU)", true, true},
      {"users may only add files", "D:P(A;OICI;FA;;;BA)(A;;0x1200ab;;;BU)", true, false},
      {"users may delete children", "D:P(A;OICI;FA;;;BA)(A;;DT;;;BU)", false, true},
      {"everyone may change the access list", "D:(A;;WD;;;WD)", false, true},
      {"generic write for everyone", "D:(A;;GW;;;WD)", true, false},
      {"generic all for users", "D:(A;;GA;;;BU)", true, true},
      {"creator owner, inherit-only", "D:P(A;OICI;FA;;;SY)(A;OICIIO;FA;;;CO)(A;OICI;FA;;;BA)",
       false, false},
      {"creator owner on the folder itself stands for no one", "D:(A;;FA;;;CO)", false, false},
      {"the program's own account",
       "D:P(A;OICI;FA;;;S-1-5-21-1004336348-1177238915-682003330-1001)", false, false},
      {"another named account",
       "D:P(A;OICI;FA;;;S-1-5-21-1004336348-1177238915-682003330-1002)", true, true},
      {"TrustedInstaller",
       "D:(A;;FA;;;S-1-5-80-956008885-3418522649-1831038044-1847922149-1085735405)", false, false},
      // A denying entry is not counted on to take back what another allows.
      {"denied, then allowed", "D:(D;;FA;;;BU)(A;;FA;;;BU)", true, true},
      {"no entries at all", "D:P", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<os::AccessEntry> entries;
    ASSERT_TRUE(os::ParseSddlAccessList(c.sddl, &entries));
    const os::FolderAccess access = os::JudgeFolderAccess(&entries, kOwn);
    EXPECT_EQ(access.others_may_add, c.may_add);
    EXPECT_EQ(access.others_may_change, c.may_change);
  }
  // No access list at all lets everyone do everything.
  const os::FolderAccess none = os::JudgeFolderAccess(nullptr, kOwn);
  EXPECT_TRUE(none.others_may_add && none.others_may_change);
}

TEST(FolderAccessTest, UnreadableAccessListsAreRefused) {
  std::vector<os::AccessEntry> entries;
  for (const char* sddl : {"", "O:BA", "D:(A;;XX;;;BU)", "D:(A;;FA;;BU)", "D:(A;OICIX;FA;;;BU)",
                           "D:(A;;0xZZ;;;BU)"}) {
    SCOPED_TRACE(sddl);
    EXPECT_FALSE(os::ParseSddlAccessList(sddl, &entries));
    EXPECT_TRUE(entries.empty());
  }
}

// One step of the way to a report: links by their owner, folders by owner and
// by who else may write; the report's own folder gets no sticky exception.
TEST(ReportPathCheckTest, JudgesEachStep) {
  using V = os::ReportPathVerdict;
  struct Case {
    const char* name;
    bool is_link, trusted_owner, writable_by_others, sticky;
    V above, own;
  } cases[] = {
      {"sound folder", false, true, false, false, V::kSound, V::kSound},
      {"another account's folder", false, false, false, false, V::kFolderOwnedByOthers,
       V::kFolderOwnedByOthers},
      {"open to others", false, true, true, false, V::kFolderOpenToOthers, V::kFolderOpenToOthers},
      {"open to others, sticky", false, true, true, true, V::kSound, V::kFolderOpenToOthers},
      {"a link of the system", true, true, false, false, V::kSound, V::kSound},
      {"another account's link", true, false, false, false, V::kLinkOwnedByOthers,
       V::kLinkOwnedByOthers},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    os::LogPathPart step;
    step.is_link = c.is_link;
    step.trusted_owner = c.trusted_owner;
    step.writable_by_others = c.writable_by_others;
    step.sticky = c.sticky;
    EXPECT_EQ(os::JudgeReportPathStep(step, false), c.above);
    EXPECT_EQ(os::JudgeReportPathStep(step, true), c.own);
  }
  EXPECT_EQ(os::ReportPathProblem({V::kFolderOpenToOthers, "/tmp"}),
            "other accounts can change the folder /tmp");
  EXPECT_EQ(os::ReportPathProblem({V::kSound, "/srv"}), "");
}

// The Windows build's run lock: a private namespace wherever the system has
// one; the Global mutex elsewhere, trusted only when an administrator, SYSTEM
// or this account made it.
TEST(RunLockPlaceTest, PrivateNamespaceWhereTheSystemHasOne) {
  using os::RunLockPlace;
  EXPECT_EQ(os::ChooseRunLockPlace(true, true), RunLockPlace::kPrivateNamespace);
  EXPECT_EQ(os::ChooseRunLockPlace(true, false), RunLockPlace::kGlobalName);  // Wine
  EXPECT_EQ(os::ChooseRunLockPlace(false, false), RunLockPlace::kGlobalName);
  struct Case {
    bool made_here, owner_known, owner_trusted, trusted;
  } cases[] = {
      {true, true, false, true},   {false, true, true, true},  {false, true, false, false},
      {false, false, false, true},  // no owner kept (Wine)
  };
  for (const Case& c : cases) {
    EXPECT_EQ(os::TrustGlobalRunLock(c.made_here, c.owner_known, c.owner_trusted), c.trusted);
  }
}

}  // namespace
