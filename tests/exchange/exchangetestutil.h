// Helpers of the exchange tests: the shipped empty tables in a temporary folder, files written
// there, and a second opinion from Python on what we export.
#pragma once

#include "cardbook.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace exchangetest {

class DataFolder
{
public:
    DataFolder()
    {
        const QDir shipped(QStringLiteral(VELMORA_SHIPPED_DATA_DIR));
        for (const QString &name : shipped.entryList(QDir::Files))
            QFile::copy(shipped.filePath(name), path() + name);
    }
    QString path() const { return m_dir.path() + QLatin1Char('/'); }
    QString file(const QString &name) const { return path() + name; }
    QString write(const QString &name, const QByteArray &bytes) const
    {
        QFile f(file(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return file(name);
    }

private:
    QTemporaryDir m_dir;
};

inline exchange::ContactCard card(std::initializer_list<std::pair<exchange::CardField, QString>> values)
{
    exchange::ContactCard c;
    for (const auto &[f, v] : values)
        c[f] = v;
    return c;
}

// Runs a Python script on `file` and returns the JSON it prints (an array). Debian's own Python,
// which has the Debian packages of the readers, whatever else is first on the PATH.
inline QJsonArray python(const QString &script, const QString &file)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), script, file});
    EXPECT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(p.readAllStandardOutput()).array();
}

} // namespace exchangetest
