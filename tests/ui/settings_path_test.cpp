#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "UiTest.h"
#include "data/Path.h"
#include "ui/desktop/RunDesktop.h"
#include "ui/desktop/SettingsPath.h"
#include "ui/desktop/frmMain.h"

namespace tavox {
namespace {

// Sets an environment variable (or removes it, given nullopt) for the
// lifetime of the object.
class EnvironmentScope {
public:
    EnvironmentScope(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) previous_ = old;
        Apply(value);
    }
    ~EnvironmentScope() { Apply(previous_); }
    EnvironmentScope(const EnvironmentScope&) = delete;
    EnvironmentScope& operator=(const EnvironmentScope&) = delete;

private:
    void Apply(const std::optional<std::string>& value) {
        if (value) {
            ::setenv(name_, value->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }
    const char* name_;
    std::optional<std::string> previous_;
};

class settings_path_test : public test::UiTest {
protected:
    std::string FileName() const { return ProgramName().substr(0, ProgramName().find('.')) + ".ini"; }

    test::TempDir config_;
    EnvironmentScope configHome_{"XDG_CONFIG_HOME", config_.Path()};
};

const char* const sharedProgramFolders[] = {"/usr/bin", "/usr/local/bin/", TAVOX_INSTALL_BINDIR};

TEST_F(settings_path_test, a_writable_program_folder_of_its_own_keeps_the_settings) {
    EXPECT_EQ(SettingsFilePath(), ProgramDir() + FileName());
}

// Also when the user may write there (root): a file left in /usr/bin would
// outlive the package that installed the program.
TEST_F(settings_path_test, installed_programs_keep_settings_in_the_configuration_folder) {
    for (const char* folder : sharedProgramFolders) {
        SetProgramFolder(folder);
        EXPECT_EQ(SettingsFilePath(), config_.Path() + "tavox/" + FileName()) << folder;
    }
    SetProgramFolder("/usr/bin/../bin/");
    EXPECT_EQ(SettingsFilePath(), config_.Path() + "tavox/" + FileName());
}

TEST_F(settings_path_test, configuration_folder_falls_back_to_home_then_to_the_program_folder) {
    SetProgramFolder("/usr/bin");
    EnvironmentScope home("HOME", "/home/someone");
    {
        EnvironmentScope relative("XDG_CONFIG_HOME", "relative/config");
        EXPECT_EQ(SettingsFilePath(), "/home/someone/.config/tavox/" + FileName());
    }
    {
        EnvironmentScope unset("XDG_CONFIG_HOME", std::nullopt);
        EXPECT_EQ(SettingsFilePath(), "/home/someone/.config/tavox/" + FileName());
        EnvironmentScope noHome("HOME", std::nullopt);
        EXPECT_EQ(SettingsFilePath(), "/usr/bin/" + FileName());
    }
}

// A desktop start of the installed program, as the desktop module runs it:
// the main window opens, and closing it writes the settings into the
// configuration folder, creating it, and nothing next to the program.
TEST_F(settings_path_test, installed_desktop_start_writes_settings_to_the_configuration_folder) {
    const std::string programFolder = std::string(TAVOX_INSTALL_BINDIR) + "/";
    const std::string besideProgram = programFolder + FileName();
    const bool existedBefore = std::filesystem::exists(besideProgram);
    SetProgramFolder(programFolder);

    bool closed = false;
    QTimer::singleShot(50, QCoreApplication::instance(), [&] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (auto* main = qobject_cast<frmMain*>(window); main != nullptr && main->isVisible()) {
                closed = main->close();
            }
        }
    });
    EXPECT_EQ(RunDesktopSession({}), 0);
    EXPECT_TRUE(closed);

    EXPECT_EQ(std::filesystem::exists(besideProgram), existedBefore);
    if (!existedBefore) std::filesystem::remove(besideProgram);
    const std::string settings = config_.Path() + "tavox/" + FileName();
    ASSERT_TRUE(std::filesystem::exists(settings));
    EXPECT_EQ(test::ReadBytes(settings).rfind("[FFT Parameters]\nWidth=", 0), 0u) << test::ReadBytes(settings);
}

}  // namespace
}  // namespace tavox
