#include "UiTest.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <cmath>

#include "app/MainModule.h"
#include "data/Path.h"
#include "ui/desktop/DesktopHooks.h"

namespace tavox::test {

namespace {

struct CommaPunctuation : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return ' '; }
    std::string do_grouping() const override { return ""; }
};

}  // namespace

void UiTest::SetUp() {
    SetProgramFolder(programDir_.Path());
    SetStartMode(StartMode::Standalone);
    SetCommandLineMode(false);
    InstallHostHooks(DesktopHooks());
}

void UiTest::TearDown() {
    Pump();
    for (const std::string& name : VisibleWindows()) ADD_FAILURE() << "window left open: " << name;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->close();
    }
    Pump();
    InstallHostHooks({});
    SetCommandLineMode(false);
    SetProgramFolder({});
}

std::vector<std::string> VisibleWindows() {
    std::vector<std::string> names;
    for (const QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible()) {
            names.push_back(window->objectName().toStdString() + " \"" + window->windowTitle().toStdString() + "\"");
        }
    }
    return names;
}

void Activate(QWidget* window) {
    window->show();
    window->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(window));
}

void TypeAndLeave(QLineEdit* field, const QString& text) {
    field->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(field->hasFocus());
    field->selectAll();
    if (text.isEmpty()) {
        QTest::keyClick(field, Qt::Key_Backspace);
    } else {
        QTest::keyClicks(field, text);
    }
    QTest::keyClick(field, Qt::Key_Tab);
    ASSERT_FALSE(field->hasFocus());
}

void Pump() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

void OnNextModal(std::function<void(QWidget*)> step) {
    auto* timer = new QTimer(QCoreApplication::instance());
    QObject::connect(timer, &QTimer::timeout, timer, [timer, step = std::move(step)] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) return;
        timer->stop();
        timer->deleteLater();
        step(modal);
    });
    timer->start(10);
}

CommaLocale::CommaLocale()
    : previous_(std::locale::global(std::locale(std::locale::classic(), new CommaPunctuation))) {}

CommaLocale::~CommaLocale() {
    std::locale::global(previous_);
}

void WriteTone(const std::string& path, int count) {
    std::vector<std::int16_t> samples(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) samples[i] = static_cast<std::int16_t>(std::lround(8000 * std::sin(i * 0.3)));
    WriteSamples(path, samples);
}

}  // namespace tavox::test
