#include "ui/dlgAbout.h"

#include "config/FrmMainTexts.h"
#include "config/modGlobal.h"
#include "fs/modFSO.h"
#include "ui/Seams.h"
#include "ui_dlgAbout.h"

#include <QCursor>
#include <QPixmap>
#include <QUrl>

// The dialog's pictures live in this static library; the linker keeps them only when asked.
static void initAboutResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(dlgAbout);
        return true;
    }();
    Q_UNUSED(done);
}

namespace
{

using namespace FrmMainTexts;

// The fingertip of the link pointer.
constexpr int PointerHotX = 12;
constexpr int PointerHotY = 1;

QString supportAddress()
{
    return QLatin1String(modGlobal::SupportAddress);
}

QString helpPageAddress()
{
    return QLatin1String(modGlobal::HelpPageUrl);
}

// A replacement for the stored picture, beside the program.
QString pictureFile()
{
    return modGlobal::ProgramFolder() + QStringLiteral("/bin/TessaroLite.bmp");
}

} // namespace

dlgAbout::dlgAbout(QWidget &mainWindow)
    : CentredDialog(mainWindow)
    , m_ui(std::make_unique<Ui::dlgAbout>())
{
    initAboutResources();
    m_ui->setupUi(this);
    m_ui->Image1->setPixmap(QPixmap(QStringLiteral(":/dlgAbout/product.bmp")));
    // The picture opens the web site: a screen reader says so by its address.
    m_ui->Image1->setAccessibleName(QLatin1String(modGlobal::SiteRoot));
    setUpLinks();
    connect(m_ui->cmdQuit, &QPushButton::clicked, this, &dlgAbout::cmdQuit_Click);
    connect(m_ui->Image1, &ClickLabel::clicked, this, &dlgAbout::Image1_Click);
    connect(m_ui->lblWeburl, &ClickLabel::clicked, this, &dlgAbout::lblWeburl_Click);
    connect(m_ui->lblSupport, &ClickLabel::clicked, this, &dlgAbout::lblSupport_Click);
    Form_Load();
}

dlgAbout::~dlgAbout() = default;

void dlgAbout::setUpLinks()
{
    const QCursor pointer(QPixmap(QStringLiteral(":/dlgAbout/link-pointer.png")), PointerHotX, PointerHotY);
    for (QLabel *link : {static_cast<QLabel *>(m_ui->lblWeburl), static_cast<QLabel *>(m_ui->lblSupport)}) {
        link->setCursor(pointer);
        QFont underlined = link->font();
        underlined.setUnderline(true);
        link->setFont(underlined);
        QPalette colors = link->palette();
        colors.setColor(QPalette::WindowText, colors.color(QPalette::Link));
        link->setPalette(colors);
    }
}

void dlgAbout::Form_Load()
{
    loadTexts();
    loadPicture();
}

void dlgAbout::loadTexts()
{
    setWindowTitle(Text(AboutCaption));
    m_ui->lblWeb->setText(Text(HelpPageLabel));
    m_ui->lblWeburl->setText(helpPageAddress());
    m_ui->lblSupp->setText(Text(SupportLabel));
    m_ui->lblSupport->setText(supportAddress());
    m_ui->cmdQuit->setText(Text(CloseButton));
    m_ui->lblFreeware->setText(Text(FreewareLine));
    m_ui->lblInfo->setText(InfoText(Text(Description)));
    m_ui->lblVersion->setText(Text(VersionLabel) + QLatin1Char(' ') + QLatin1String(modGlobal::VersionText));
}

QString dlgAbout::InfoText(const QString &description)
{
    QString lines = description;
    return lines.replace(QLatin1String(". "), QLatin1String(".\r\n"));
}

void dlgAbout::loadPicture()
{
    const QString file = pictureFile();
    if (!modFSO::FileExists(file))
        return;
    // A picture that cannot be read leaves the stored one.
    const QPixmap picture(file);
    if (!picture.isNull())
        m_ui->Image1->setPixmap(picture);
}

void dlgAbout::cmdQuit_Click()
{
    accept();
}

void dlgAbout::Image1_Click()
{
    Seams::openUrl(QUrl(QLatin1String(modGlobal::SiteRoot)));
}

void dlgAbout::lblWeburl_Click()
{
    Seams::openUrl(QUrl(helpPageAddress()));
}

void dlgAbout::lblSupport_Click()
{
    Seams::openUrl(QUrl(QStringLiteral("mailto:") + supportAddress()));
}
