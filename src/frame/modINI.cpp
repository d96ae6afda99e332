#include "frame/modINI.h"

#include "frame/modGlobalErrorHandling.h"
#include "frame/modSettings.h"
#include "frame/settingsCodec.h"
#include "platform/sys/safefile.h"
#include "platform/sys/userdirs.h"
#include "platform/ui/msgbox.h"
#include "version_info.h"

#include <QFile>
#include <QFileInfo>

QString fncSettingsFilePath()
{
    return tf::userDataDir() + QLatin1Char('/') + QString::fromUtf8(tf::version::kProgramName);
}

void subReadSettingsFile()
{
    gstrSettingsFile = fncSettingsFilePath();
    gblnSettingsFromFile = false;

    const QFileInfo info(gstrSettingsFile);
    if (!info.exists()) {
        // A first start: the file is written at shutdown, not now, so a run that never reaches its
        // shutdown leaves no empty file behind to be taken for a settings record.
        gudtSettings = fncDefaultSettings();
        return;
    }

    QFile file(gstrSettingsFile);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly)) {
        // Unreadable, not damaged: keep the file for the shutdown write to replace.
        gudtSettings = fncDefaultSettings();
        return;
    }
    // Anything behind the longest possible record is an old image and is never read.
    const QByteArray bytes = file.read(qMin<qint64>(file.size(), tf::kSettingsMaxBytes));
    file.close();

    typSettings record;
    const bool readable = tf::decodeSettings(bytes, record) == tf::SettingsDecodeResult::Ok;
    if (!readable || !fncSettingsFault(record).isEmpty()) {
        if (gstrApplicationName.isEmpty()) subInitErrorHandling();
        MsgBox(QStringLiteral("Configuration data file is corrupted\nSetting values will be initilized to default"),
               vbExclamation, gstrApplicationName);
        subDeleteSettingsFile();
        gudtSettings = fncDefaultSettings();
        return;
    }

    // A folder that is gone (another machine's path, a removed disk) would leave the tree nowhere.
    record.TreeFolder = fncExistingFolderOrHome(record.TreeFolder);
    record.CurrentFolder = fncExistingFolderOrHome(record.CurrentFolder);
    gudtSettings = record;
    gblnSettingsFromFile = true;
}

bool subWriteSettingsFile(QString* errorText)
{
    if (gstrSettingsFile.isEmpty()) gstrSettingsFile = fncSettingsFilePath();
    const QByteArray bytes = tf::encodeSettings(gudtSettings);
    QString why;
    if (tf::writeFileSafely(gstrSettingsFile, bytes, &why)) return true;
    if (errorText)
        *errorText = why.isEmpty()
                         ? QStringLiteral("The settings file could not be written completely: %1").arg(gstrSettingsFile)
                         : why;
    return false; // the old file stays as it was
}

void subDeleteSettingsFile()
{
    if (gstrSettingsFile.isEmpty()) return;
    if (QFileInfo(gstrSettingsFile).isFile()) QFile::remove(gstrSettingsFile);
}
