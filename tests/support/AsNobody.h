#pragma once
// What a user other than root meets (a file it may not read, a folder it may not write)
// cannot be seen as root, who may do anything. Run as root, such a test runs again as
// nobody: setpriv starts a copy of the test program (the build tree may sit where nobody
// cannot reach it) with only that test selected.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace ombrix::testing {

// The test's result as nobody: true when it ran there, alone, and passed.
inline bool PassesAsNobody() {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return false;
    std::string tmpl = (fs::temp_directory_path() / "ombrix-nobody-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) return false;
    const fs::path copy = fs::path(tmpl) / exe.filename();
    // The program and the libraries it finds beside itself.
    fs::copy_file(exe, copy, ec);
    for (const auto& e : fs::directory_iterator(exe.parent_path(), ec)) {
        if (e.path().extension() == ".so") fs::copy_file(e.path(), fs::path(tmpl) / e.path().filename(), ec);
    }
    ::chmod(tmpl.c_str(), 0755);
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string filter = std::string("--gtest_filter=") + info->test_suite_name() + "." + info->name();
    const std::string command = "cd / && setpriv --reuid=65534 --regid=65534 --clear-groups -- '" + copy.string() +
                                "' '" + filter + "' 2>&1";
    std::string output;
    int status = -1;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) output.append(buf, n);
        status = ::pclose(p);
    }
    fs::remove_all(tmpl, ec);
    std::printf("as nobody:\n%s", output.c_str());
    // A filter that matched nothing passes too: the test must have run, alone.
    return status == 0 && output.find("[  PASSED  ] 1 test.") != std::string::npos;
}

}  // namespace ombrix::testing
