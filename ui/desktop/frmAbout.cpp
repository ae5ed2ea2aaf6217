#include "ui/desktop/frmAbout.h"

#include <QDesktopServices>
#include <QEvent>
#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPalette>
#include <QPushButton>
#include <QStringList>
#include <QUrl>
#include <exception>

#include "ui/desktop/Twips.h"

namespace tavox {

namespace {

QLabel* MakeLabel(QWidget* parent, const QString& name, const QString& text, int left, int top, int width, int height) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    PlaceTwips(label, left, top, width, height);
    return label;
}

QFont ComicFont(double points) {
    QFont font(QStringLiteral("Comic Neue"));
    font.setStyleHint(QFont::Cursive);
    font.setBold(true);
    font.setPointSizeF(points);
    return font;
}

// "major.minor.revision" of the program, each part as a decimal number.
QString ProgramVersion() {
    const QStringList parts = QString::fromLatin1(TAVOX_VERSION).split(QLatin1Char('.'));
    QStringList numbers;
    for (int i = 0; i < 3; ++i) numbers << QString::number(i < parts.size() ? parts[i].toInt() : 0);
    return numbers.join(QLatin1Char('.'));
}

}  // namespace

const char* const frmAbout::ReportAddress = "chyby@kalmira.cz";

QString frmAbout::ReportLink() {
    return QStringLiteral("mailto:") + QLatin1String(ReportAddress) + QStringLiteral("?subject=FFT%20Bug%20Report");
}

frmAbout::frmAbout(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About Kalmira"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(true);
    UseFormFont(this);
    FixClientSizeTwips(this, 4470, 3345);

    Frame1 = new QGroupBox(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    PlaceTwips(Frame1, 120, 0, 4215, 2775);

    lblAppName = MakeLabel(Frame1, QStringLiteral("lblAppName"), QStringLiteral("Kalmira"), 240, 720, 3735, 495);
    lblAppName->setFont(ComicFont(15.75));
    lblVersion =
        MakeLabel(Frame1, QStringLiteral("lblVersion"), QStringLiteral("ActiveX Component v. "), 120, 1320, 3975, 255);
    lblCaution = MakeLabel(Frame1, QStringLiteral("lblCaution"),
                           QStringLiteral("Program je stále studijní verzí a nejsou vyloučeny chyby a nepřesnosti. "
                                          "Jakékoliv připomínky jsou vítány na adrese"),
                           360, 1800, 3735, 615);
    lblCaution->setWordWrap(true);
    lblCaution->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblEmail = MakeLabel(Frame1, QStringLiteral("lblEmail"), QLatin1String(ReportAddress), 1665, 2190, 1935, 255);
    QFont linkFont = lblEmail->font();
    linkFont.setUnderline(true);
    lblEmail->setFont(linkFont);
    QPalette linkPalette = lblEmail->palette();
    linkPalette.setColor(QPalette::WindowText, Qt::blue);
    lblEmail->setPalette(linkPalette);
    lblEmail->setCursor(Qt::PointingHandCursor);
    lblEmail->installEventFilter(this);
    lblName = MakeLabel(Frame1, QStringLiteral("lblName"), QStringLiteral("Ing. Tomáš Vacek"), 480, 240, 3255, 375);
    lblName->setFont(ComicFont(12.75));

    cmdOK = new QPushButton(QStringLiteral("&OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    PlaceTwips(cmdOK, 1440, 2880, 1575, 375);
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);

    Form_Load();
}

void frmAbout::Form_Load() {
    try {
        lblVersion->setText(lblVersion->text() + ProgramVersion());
    } catch (const std::exception&) {
    }
}

bool frmAbout::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lblEmail && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton &&
        lblEmail->rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint())) {
        lblEmail_Click();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void frmAbout::cmdOK_Click() {
    accept();
}

void frmAbout::lblEmail_Click() {
    // When no mail program answers the link, nothing happens.
    QDesktopServices::openUrl(QUrl(ReportLink()));
}

}  // namespace tavox
