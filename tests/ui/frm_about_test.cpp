#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QFontInfo>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include "UiTest.h"
#include "ui/desktop/frmAbout.h"

namespace tavox {
namespace {

using test::Find;

// Receives the links that the desktop would open.
class LinkCatcher : public QObject {
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void open(const QUrl& url) { urls << url; }
};

class frm_about_test : public test::UiTest {};

TEST_F(frm_about_test, shows_title_version_and_fonts) {
    frmAbout about;
    EXPECT_EQ(about.windowTitle(), "About Kalmira");
    EXPECT_EQ(Find<QLabel>(&about, "lblVersion")->text(), "ActiveX Component v. 3.0.0");
    EXPECT_EQ(Find<QLabel>(&about, "lblAppName")->text(), "Kalmira");

    const QFont appName = Find<QLabel>(&about, "lblAppName")->font();
    EXPECT_EQ(QFontInfo(appName).family(), "Comic Neue");
    EXPECT_TRUE(appName.bold());
    EXPECT_DOUBLE_EQ(appName.pointSizeF(), 15.75);
    const QFont name = Find<QLabel>(&about, "lblName")->font();
    EXPECT_EQ(QFontInfo(name).family(), "Comic Neue");
    EXPECT_DOUBLE_EQ(name.pointSizeF(), 12.75);

    auto* email = Find<QLabel>(&about, "lblEmail");
    EXPECT_EQ(email->text(), QLatin1String(frmAbout::ReportAddress));
    EXPECT_TRUE(email->font().underline());
    EXPECT_EQ(email->palette().color(QPalette::WindowText), QColor(Qt::blue));
    EXPECT_EQ(email->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_TRUE(Find<QPushButton>(&about, "cmdOK")->isDefault());
}

TEST_F(frm_about_test, email_click_opens_the_report_link) {
    LinkCatcher catcher;
    QDesktopServices::setUrlHandler("mailto", &catcher, "open");
    frmAbout about;
    test::Activate(&about);
    auto* email = Find<QLabel>(&about, "lblEmail");
    QTest::mouseClick(email, Qt::LeftButton);
    QDesktopServices::unsetUrlHandler("mailto");
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_EQ(catcher.urls.front().toString(QUrl::FullyEncoded),
              QStringLiteral("mailto:%1?subject=FFT%20Bug%20Report").arg(QLatin1String(frmAbout::ReportAddress)));
    EXPECT_TRUE(about.isVisible());

    QTest::mouseClick(Find<QPushButton>(&about, "cmdOK"), Qt::LeftButton);
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Accepted);
}

}  // namespace
}  // namespace tavox

#include "frm_about_test.moc"
