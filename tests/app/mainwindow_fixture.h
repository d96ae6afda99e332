#pragma once
// A main window started as the program starts it, in a per-test data folder.
#include "app/frmMain.h"
#include "basket/BasketController.h"
#include "browse/BrowseController.h"
#include "editing/EditingController.h"
#include "metadata/MetadataController.h"
#include "metadata/modMetadata.h"
#include "platform/ui/reportview.h"
#include "frame/modSettings.h"
#include "frame/settingsCodec.h"
#include "services/modMainServices.h"
#include "support/programstate.h"
#include "support/testenv.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <memory>

namespace tf::test {

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_oldDataHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", m_home.path().toUtf8());
        // The folder tree opens at the home folder by default: the test's own, never the user's.
        m_oldHome = qgetenv("HOME");
        qputenv("HOME", m_home.path().toUtf8());
    }
    void TearDown() override
    {
        m_window.reset();
        qputenv("XDG_DATA_HOME", m_oldDataHome);
        qputenv("HOME", m_oldHome);
    }

    // Loads the window; shows it at the given size unless that size is empty.
    frmMain& start(QSize size = QSize(1000, 700))
    {
        m_window = std::make_unique<frmMain>();
        if (size.isValid()) {
            m_window->resize(size);
            m_window->show();
            QApplication::processEvents();
        }
        return *m_window;
    }
    frmMain& window() { return *m_window; }
    // Closes the window as the user does; true when it went.
    bool closeWindow()
    {
        const bool closed = m_window->close();
        QApplication::processEvents();
        return closed;
    }

    QString dataDir() const { return m_home.path() + QStringLiteral("/tavrel-folio"); }
    QString settingsPath() const { return dataDir() + QStringLiteral("/tavrel-folio"); }
    QString tempDir() const { return dataDir() + QStringLiteral("/Temp"); }

    void writeSettings(const typSettings& s) const
    {
        QDir().mkpath(dataDir());
        QFile file(settingsPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(encodeSettings(s));
    }
    typSettings readSettingsBack() const
    {
        typSettings s;
        EXPECT_EQ(decodeSettings(readAll(settingsPath()), s), SettingsDecodeResult::Ok);
        return s;
    }

    template <typename T>
    T* find(const QString& name) const
    {
        T* found = m_window->findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name.toStdString();
        return found;
    }

    // A widget's rectangle in the window's coordinates.
    QRect inWindow(const QWidget* widget) const
    {
        return QRect(widget->mapTo(m_window.get(), QPoint(0, 0)), widget->size());
    }

    TempFolder m_home;
    QByteArray m_oldDataHome;
    QByteArray m_oldHome;
    std::unique_ptr<frmMain> m_window;
};

} // namespace tf::test
