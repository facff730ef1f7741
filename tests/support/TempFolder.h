#pragma once
// A private temporary folder with the few file helpers every test program needs.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>

#include <string>

struct TempFolder {
    QTemporaryDir dir;

    QString path(const QString& name) const { return dir.filePath(name); }

    // Names of `name` in the folder, written in other ways that lead to the same file:
    // through "/./", and through a symbolic link, or on Windows in other case and with
    // backslashes (a symbolic link there needs rights that a user seldom has).
    QStringList sameFileNames(const QString& name) const
    {
        QStringList names{path(name), dir.path() + QStringLiteral("/./") + name};
#ifdef _WIN32
        names << QDir::toNativeSeparators(path(name.toUpper()));
#else
        QFile::link(path(name), path(QStringLiteral("link-") + name));
        names << path(QStringLiteral("link-") + name);
#endif
        return names;
    }

    QString write(const QString& name, const std::string& bytes) const
    {
        QFile f(path(name));
        f.open(QIODevice::WriteOnly);
        f.write(bytes.data(), static_cast<qint64>(bytes.size()));
        return f.fileName();
    }

    std::string read(const QString& name) const
    {
        QFile f(QFileInfo(name).isAbsolute() ? name : path(name));
        if (!f.open(QIODevice::ReadOnly))
            return "<missing>";
        return f.readAll().toStdString();
    }
};
