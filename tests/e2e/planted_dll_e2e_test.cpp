// A DLL that someone drops into the package folder is never loaded by the
// utility. Windows build only (the POSIX build loads no such library). Wine
// looks for VERSION.dll the way Windows does only with the override
// "version=n,b"; given it, a planted DLL beside the program would be found
// first, unless the program loads it from the system folder.
#include <filesystem>
#include <string>

#include "tests/support/e2e_helpers.h"
#include "tests/support/package_fixture.h"

#ifndef KX_PLANTED_DLL
#define KX_PLANTED_DLL ""  // the POSIX build has none
#endif

namespace {

namespace fs = std::filesystem;

using PlantedDllTest = PackageFixture;

TEST_F(PlantedDllTest, VersionDllBesideTheUtilityIsNeverLoaded) {
  const std::string planted = KX_PLANTED_DLL;
  if (planted.empty()) GTEST_SKIP() << "the POSIX build loads no DLL";
  const fs::path program = fs::path(package_) / fs::path(KX_PROGRAM_FILE).filename();
  fs::copy_file(KX_PROGRAM_FILE, program);
  fs::copy_file(planted, fs::path(package_) / "version.dll");
  const std::string marker = JoinPath(scratch_, "planted-dll-was-loaded.txt");

  ProgramOptions options;
  options.working_directory = package_;
  options.environment = ScratchEnvironment(scratch_);
  options.environment["WINEDLLOVERRIDES"] = "version=n,b";
  options.environment["KX_PLANTED_MARKER"] = marker;
  options.close_input = true;
  const ProgramRun run = RunProgramAndWait(program.string(), {"-h"}, options);
  ASSERT_TRUE(run.started) << run.failure;
  EXPECT_FALSE(fs::exists(marker)) << ReadFileBytes(marker);
  EXPECT_EQ(run.output, Native(Banner() + Usage()));  // the real version, from the real library
}

}  // namespace
