#pragma once

#include <QDir>
#include <QFile>
#include <QString>

#include <string>

// The engine takes a path as the file system's bytes: on Windows UTF-8,
// which it widens for the system, so every name works and not only those of
// the ANSI code page; with backslashes, so its messages name the file as
// Windows writes it.
inline std::string PathBytes(const QString& path)
{
#ifdef _WIN32
    return QDir::toNativeSeparators(path).toStdString();
#else
    return QFile::encodeName(path).toStdString();
#endif
}

inline QString PathText(const std::string& bytes)
{
#ifdef _WIN32
    return QString::fromStdString(bytes);
#else
    return QFile::decodeName(QByteArray::fromStdString(bytes));
#endif
}
