// SPDX-License-Identifier: GPL-2.0-or-later
#include "monitor/SettingsLauncher.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace drivetherm {
namespace {

constexpr const char* kProgram = "drivetherm";

bool isExecutable(const QString& path) {
    const QFileInfo file(path);
    return file.isFile() && file.isExecutable();
}

}  // namespace

QString SettingsLauncher::program() {
    const QString beside = QCoreApplication::applicationDirPath() + "/" + kProgram;
    if (isExecutable(beside)) return beside;
#ifdef DRIVETHERM_BUILD_TREE
    // In the build tree the two programs live in their own folders.
    const QString self = QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath();
    if (self.startsWith(QStringLiteral(DRIVETHERM_BUILD_TREE "/")) &&
        isExecutable(QStringLiteral(DRIVETHERM_SETTINGS_IN_BUILD_TREE))) {
        return QStringLiteral(DRIVETHERM_SETTINGS_IN_BUILD_TREE);
    }
#endif
    return QStandardPaths::findExecutable(kProgram);
}

std::optional<std::string> SettingsLauncher::start() const {
    const QString path = program();
    if (path.isEmpty()) {
        return std::string("{program = ") + kProgram + "; error = \"not installed: no " + kProgram +
               " beside this program or on PATH\"}";
    }
    QProcess process;
    process.setProgram(path);
    process.setArguments(arguments_);
    process.setStandardInputFile(QProcess::nullDevice());
    if (!process.startDetached()) {
        return "{program = \"" + path.toStdString() + "\"; error = \"" +
               process.errorString().toStdString() + "\"}";
    }
    return std::nullopt;
}

}  // namespace drivetherm
