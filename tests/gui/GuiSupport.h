#pragma once
// What the window tests share: a program state on a virtual clock with the libraries it
// is asked to load, file and menu helpers.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdint>
#include <functional>
#include <optional>

#include "core/app/Program.h"
#include "core/platform/RecordingUi.h"

namespace ombrix::testing {

// Loads the image and type libraries from beside the test binary only when asked to.
class LibrariesOnRequest final : public LibraryLoader {
public:
    bool images = false;
    bool strings = false;
    std::unique_ptr<Library> Load(const std::string& name, SysError* error) override {
        const bool wanted = (images && name == "kelvanebmp") || (strings && name == "kelvaneproj");
        return wanted ? real_.Load(name, error) : nullptr;
    }

private:
    DlLibraryLoader real_;
};

struct TestProgram {
    VirtualClock clock;
    RecordingUi ui;
    LibrariesOnRequest loader;
    SystemDeviceOpener opener;
    ProgramState state{clock, ui, loader, opener};
};

// Each test row in a fresh working directory of its own.
class ScratchDirectory {
public:
    void Enter() {
        dir_.emplace();
        QDir::setCurrent(dir_->path());
    }
    void Leave() {
        QDir::setCurrent(home_);
        dir_.reset();
    }

private:
    std::optional<QTemporaryDir> dir_;
    QString home_ = QDir::currentPath();
};

inline QByteArray ReadFile(const char* name) {
    QFile file(QString::fromLatin1(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline uint32_t Le32(const QByteArray& b, int at) {
    return uint8_t(b[at]) | uint8_t(b[at + 1]) << 8 | uint8_t(b[at + 2]) << 16 | uint32_t(uint8_t(b[at + 3])) << 24;
}

// The 32-bit entries of an address-set file.
inline QList<int> AddressEntries(const char* name) {
    const QByteArray bytes = ReadFile(name);
    QList<int> out;
    for (int at = 0; at + 4 <= bytes.size(); at += 4) out << int(Le32(bytes, at));
    return out;
}

inline bool WriteAddressEntries(const char* name, const QList<int>& entries) {
    QFile file(QString::fromLatin1(name));
    if (!file.open(QIODevice::WriteOnly)) return false;
    for (int e : entries) {
        const char b[4] = {char(e), char(e >> 8), char(e >> 16), char(e >> 24)};
        file.write(b, 4);
    }
    return true;
}

// A command of the menu bar, at any depth, by its shortcut or by its text.
inline QAction* FindCommand(QMenu* menu, const QKeySequence& key, const QString& text) {
    for (QAction* a : menu->actions()) {
        if (a->menu()) {
            if (QAction* found = FindCommand(a->menu(), key, text)) return found;
        } else if (!a->isSeparator() && ((!key.isEmpty() && a->shortcut() == key) || (!text.isEmpty() && a->text() == text))) {
            return a;
        }
    }
    return nullptr;
}

inline QAction* MenuCommand(QMainWindow& frame, const QKeySequence& key, const QString& text = {}) {
    for (QAction* top : frame.menuBar()->actions())
        if (QAction* a = FindCommand(top->menu(), key, text)) return a;
    return nullptr;
}

inline QPushButton* Button(QWidget& parent, const QString& text) {
    for (QPushButton* b : parent.findChildren<QPushButton*>())
        if (b->text() == text) return b;
    return nullptr;
}

// The window tests are one program: a QtTest class registers under the name its ctest
// entry passes first on the command line (gui_main.cpp); without such a name the program
// runs its gtest cases.
using QtTestRun = std::function<int(int argc, char** argv)>;
bool RegisterQtTest(const char* name, QtTestRun run);

}  // namespace ombrix::testing

#define OMBRIX_QTEST_MAIN(name, TestClass)                                                    \
    [[maybe_unused]] static const bool ombrix_qtest_##name = ::ombrix::testing::RegisterQtTest( \
        #name, [](int argc, char** argv) {                                                    \
            TestClass test;                                                                   \
            return QTest::qExec(&test, argc, argv);                                           \
        })
