#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <locale>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "data/FileSystem.h"
#include "support/TestSupport.h"

class QLineEdit;

// Lets GoogleTest print Qt texts.
inline void PrintTo(const QString& text, std::ostream* stream) {
    *stream << '"' << text.toStdString() << '"';
}

namespace tavox::test {

// Base of the window tests: the program folder (and so the settings file)
// is a fresh temporary folder, the process runs standalone in window mode
// with the desktop hooks, and after each test no top-level window may be left
// open (leftovers are reported, then closed and deleted).
class UiTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string ProgramDir() const { return programDir_.Path(); }

private:
    TempDir programDir_;
};

// Names of the visible top-level windows.
std::vector<std::string> VisibleWindows();

// The named child control; fails the test when there is none.
template <class Control>
Control* Find(const QWidget* window, const char* name) {
    auto* control = window->findChild<Control*>(QString::fromLatin1(name));
    EXPECT_NE(control, nullptr) << "no control " << name;
    return control;
}

// Shows and activates a window so that focus changes send events.
void Activate(QWidget* window);
// Types into a field as a user does: focus, replace the whole text, then Tab away.
void TypeAndLeave(QLineEdit* field, const QString& text);
// Processes events, deferred deletions included.
void Pump();
// Runs `step` once the next modal window is open (polled from the event loop).
void OnNextModal(std::function<void(QWidget*)> step);

// A decimal-comma numeric locale installed as the global C++ locale for the
// lifetime of the object.
class CommaLocale {
public:
    CommaLocale();
    ~CommaLocale();

private:
    std::locale previous_;
};

// The real file system with a fixed mount point and free-space count.
class FixedSpaceFileSystem : public FileSystem {
public:
    FixedSpaceFileSystem(std::string mountPoint, std::optional<std::uint64_t> freeBytes)
        : mountPoint_(std::move(mountPoint)), freeBytes_(freeBytes) {}

    std::optional<std::uint64_t> FileSize(const std::string& path) override { return real_->FileSize(path); }
    bool FileExists(const std::string& path) override { return real_->FileExists(path); }
    bool DeleteFileForced(const std::string& path) override { return real_->DeleteFileForced(path); }
    std::unique_ptr<InputFile> OpenRead(const std::string& path) override { return real_->OpenRead(path); }
    std::unique_ptr<OutputFile> CreateOutput(const std::string& path) override { return real_->CreateOutput(path); }
    std::vector<std::string> List(const std::string& folder, const std::string& pattern) override {
        return real_->List(folder, pattern);
    }
    std::string MountPoint(const std::string&) override { return mountPoint_; }
    std::optional<std::uint64_t> FreeSpace(const std::string&) override { return freeBytes_; }
    std::optional<std::string> ReadSmallFile(const std::string& path, std::size_t maxBytes) override {
        return real_->ReadSmallFile(path, maxBytes);
    }
    bool ReplaceFile(const std::string& path, std::string_view bytes) override {
        return real_->ReplaceFile(path, bytes);
    }

private:
    std::shared_ptr<FileSystem> real_ = DefaultFileSystem();
    std::string mountPoint_;
    std::optional<std::uint64_t> freeBytes_;
};

// `count` samples of a tone, enough for any width the tests use.
void WriteTone(const std::string& path, int count = 2048);

}  // namespace tavox::test
