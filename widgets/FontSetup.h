#pragma once

#include <QString>
#include <QStringList>

// The window asks for "Tahoma" and "Arial". On Linux they resolve to
// metric-compatible faces: Arial to Liberation Sans, Tahoma to Wine's
// Tahoma (installed outside the folders fontconfig searches, so it is loaded
// into the application's font database), else the system sans face. On
// Windows Tahoma and Arial are system fonts and nothing is loaded, unless the
// platform plugin shows no system fonts.
class FontSetup {
public:
    struct Result {
        QString tahomaFamily; // family "Tahoma" now resolves to
        QString arialFamily;  // family "Arial" now resolves to
        int tahomaFilesLoaded = 0;
    };

    // Call once after the QApplication exists.
    static Result SetUpFonts();
    // The same, looking for the Tahoma files in `tahomaDirs`.
    static Result SetUpFonts(const QStringList& tahomaDirs);
    static QStringList DefaultTahomaDirs();
    // The family a widget gets when it asks for `family`.
    static QString ResolvedFamily(const QString& family);
};
