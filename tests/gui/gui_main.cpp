// The window tests' program: one QtTest class, named first on the command line, or else
// every gtest case the filter picks.
#include <QApplication>
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "GuiSupport.h"

namespace ombrix::testing {
namespace {
std::map<std::string, QtTestRun>& QtTests() {
    static std::map<std::string, QtTestRun> tests;
    return tests;
}
}  // namespace

bool RegisterQtTest(const char* name, QtTestRun run) {
    return QtTests().emplace(name, std::move(run)).second;
}
}  // namespace ombrix::testing

int main(int argc, char** argv) {
    // Listing the tests (at build time) needs no display either.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const auto& qtTests = ombrix::testing::QtTests();
    if (argc > 1) {
        if (const auto it = qtTests.find(argv[1]); it != qtTests.end()) {
            // As QTEST_MAIN sets it: the fonts' metrics do not depend on the screen.
            app.setAttribute(Qt::AA_Use96Dpi, true);
            argv[1] = argv[0];
            return it->second(argc - 1, argv + 1);
        }
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
