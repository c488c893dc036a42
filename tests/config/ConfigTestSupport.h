#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

inline QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void writeBytes(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

// The settings file that a new user gets, line by line.
inline QByteArray expectedDefaultSettings()
{
    return QByteArray("\r\n"
                      "\r\n"
                      ";\r\n"
                      "; Config file for Tessaro Lite\r\n"
                      ";     file name: Tessaro.ini\r\n"
                      ";\r\n"
                      ";     Ulvenor\r\n"
                      ";     Nowhere Lane 0\r\n"
                      ";     00000 Examplestead\r\n"
                      ";     Neverland\r\n"
                      ";     mailto:support@ulvenor.example\r\n"
                      ";\r\n"
                      ";     https://www.ulvenor.example/\r\n"
                      ";     https://www.ulvenor.example/lite/help/index.html\r\n"
                      ";\r\n"
                      "\r\n"
                      "[Options]\r\n"
                      "Save=1\r\n"
                      "Question=0\r\n"
                      "DoActionOnStart=0\r\n"
                      "CheckDestination=1\r\n"
                      "From=\r\n"
                      "To=\r\n"
                      "Interval=1\r\n"
                      "Action=Copy\r\n"
                      "ShowLog=1\r\n"
                      "Overwrite=0\r\n"
                      "Language=\r\n"
                      "ShowDateAndTime=1\r\n"
                      "\r\n");
}
