#include "FontSetup.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>

namespace {

bool familyInstalled(const QString& family)
{
    return QFontDatabase::families().contains(family, Qt::CaseInsensitive);
}

} // namespace

QStringList FontSetup::DefaultTahomaDirs()
{
#ifdef _WIN32
    // Tahoma is a system font on Windows; the copies here serve only where
    // the platform plugin sees no system fonts (the offscreen one) or a Wine
    // prefix lacks its own: a fonts folder beside the program, then Wine's
    // font folders through the drive Wine maps to the Unix root.
    return {QCoreApplication::applicationDirPath() + QStringLiteral("/fonts"),
            QStringLiteral("Z:/usr/share/wine/fonts"), QStringLiteral("Z:/usr/lib/wine/fonts"),
            QStringLiteral("Z:/opt/wine/fonts")};
#else
    return {QStringLiteral("/usr/share/wine/fonts"), QStringLiteral("/usr/lib/wine/fonts"),
            QStringLiteral("/opt/wine/fonts")};
#endif
}

QString FontSetup::ResolvedFamily(const QString& family)
{
    return QFontInfo(QFont(family)).family();
}

FontSetup::Result FontSetup::SetUpFonts()
{
    return SetUpFonts(DefaultTahomaDirs());
}

FontSetup::Result FontSetup::SetUpFonts(const QStringList& tahomaDirs)
{
    Result result;
    if (!familyInstalled(QStringLiteral("Tahoma"))) {
        for (const QString& dir : tahomaDirs) {
            const QFileInfoList files = QDir(dir).entryInfoList(
                {QStringLiteral("tahoma*.ttf"), QStringLiteral("Tahoma*.ttf")}, QDir::Files);
            for (const QFileInfo& file : files) {
                if (QFontDatabase::addApplicationFont(file.absoluteFilePath()) >= 0)
                    ++result.tahomaFilesLoaded;
            }
            if (result.tahomaFilesLoaded > 0)
                break;
        }
    }
    const QString sans = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    if (familyInstalled(QStringLiteral("Tahoma")))
        QFont::removeSubstitutions(QStringLiteral("Tahoma"));
    else
        QFont::insertSubstitution(QStringLiteral("Tahoma"), sans);
    // fontconfig's own alias usually does this already; the substitution
    // keeps it so where the alias is missing.
    if (!familyInstalled(QStringLiteral("Arial"))) {
        if (familyInstalled(QStringLiteral("Liberation Sans")))
            QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
        else
            QFont::insertSubstitution(QStringLiteral("Arial"), sans);
    }
    // Smoothed glyphs: drawn in plain black and white, a small Tahoma lost
    // strokes thinner than a pixel, such as the hyphen.
    QFont application = QGuiApplication::font();
    application.setStyleStrategy(QFont::PreferAntialias);
    QGuiApplication::setFont(application);
    result.tahomaFamily = ResolvedFamily(QStringLiteral("Tahoma"));
    result.arialFamily = ResolvedFamily(QStringLiteral("Arial"));
    return result;
}
