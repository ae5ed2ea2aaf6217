#include <QCheckBox>
#include <QRadioButton>
#include <array>
#include <cctype>
#include <exception>
#include <filesystem>
#include <string>

#include "common/IgnoringErrors.h"
#include "common/Numeric.h"
#include "ui/desktop/BatchOptionsFile.h"
#include "ui/desktop/frmMain.h"
#include "ui/settings/PrivateProfile.h"

namespace tavox {

namespace {

constexpr const char* Section = "FFT Parameters";
constexpr std::array<const char*, 11> Keys{"Width",   "Repeat", "Start", "Finish", "Path",  "InMask",
                                           "OutMask", "Method", "Phase", "Center", "Window"};
constexpr int KeyMethod = 7;
constexpr int KeyPhase = 8;
constexpr int KeyCenter = 9;
constexpr int KeyWindow = 10;

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// "True" or "False" in any letter case, or a number (non-zero is true);
// raises the type-mismatch error for anything else.
bool ReadBoolean(const std::string& text) {
    const std::string lower = Lower(text);
    if (lower == "true") return true;
    if (lower == "false") return false;
    return LocaleTextToDouble(text) != 0;
}

}  // namespace

std::string frmMain::ReadSetting(int index) const {
    return PrivateProfile(strSettingsFile, fileSystem_).Read(Section, Keys.at(index));
}

void frmMain::WriteSetting(int index, const std::string& value) const {
    PrivateProfile(strSettingsFile, fileSystem_).Write(Section, Keys.at(index), value);
}

void frmMain::LoadSettings() {
    std::error_code error;
    if (strSettingsFile.empty() || !std::filesystem::exists(strSettingsFile, error)) return;

    for (int index = 0; index < static_cast<int>(txtParam.size()); ++index) {
        IgnoringErrors([&] {
            const std::string value = ReadSetting(index);
            if (value.empty()) return;
            SetFieldText(index, value);
            CommitField(index);
        });
    }
    IgnoringErrors([&] { SelectMethod(ToInt32HalfEven(LeadingNumber(ReadSetting(KeyMethod)) + 2)); });
    IgnoringErrors([&] {
        if (optMethod[2]->isChecked() && ReadBoolean(ReadSetting(KeyPhase))) SelectMethod(1);
    });
    IgnoringErrors([&] {
        const std::int16_t state = ToInt16HalfEven(LocaleTextToDouble(ReadSetting(KeyCenter)));
        if (state != 0 && state != 1) return;
        chkCenter->setChecked(state == 1);
        chkCenter_Click();
    });
    IgnoringErrors([&] { SelectWindow(ToInt32HalfEven(LeadingNumber(ReadSetting(KeyWindow)) + 1)); });
    IgnoringErrors([&] { batchOptions_ = ReadBatchOptions(PrivateProfile(strSettingsFile, fileSystem_)); });
}

void frmMain::CreateSettingsFolder() const {
    IgnoringErrors([&] {
        const std::filesystem::path folder = std::filesystem::path(strSettingsFile).parent_path();
        std::error_code error;
        if (!folder.empty()) std::filesystem::create_directories(folder, error);
    });
}

void frmMain::SaveSettings() {
    CreateSettingsFolder();
    for (int index = 0; index < static_cast<int>(txtParam.size()); ++index) {
        IgnoringErrors([&] { WriteSetting(index, FieldText(index)); });
    }
    IgnoringErrors([&] { WriteSetting(KeyMethod, std::to_string(MethodFromOptions())); });
    IgnoringErrors([&] { WriteSetting(KeyPhase, PhaseFromOptions() ? "True" : "False"); });
    IgnoringErrors([&] { WriteSetting(KeyCenter, chkCenter->isChecked() ? "1" : "0"); });
    IgnoringErrors([&] { WriteSetting(KeyWindow, std::to_string(WindowFromOptions())); });
}

void frmMain::SaveBatchOptions() {
    CreateSettingsFolder();
    IgnoringErrors([&] { WriteBatchOptions(PrivateProfile(strSettingsFile, fileSystem_), batchOptions_); });
}

}  // namespace tavox
