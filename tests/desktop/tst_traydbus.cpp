#include "MainControls.h"
#include "TrayIcon.h"
#include "WindowTestEnvironment.h"
#include "frmMain.h"

#include <QAction>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QMutex>
#include <QTest>
#include <QThread>

using namespace Qt::Literals::StringLiterals;

// Stands in for a desktop's notification area hosted over D-Bus: it answers that a host is
// registered and records the items that register with it. It lives on a thread of its own, as
// the program asks it with blocking calls.
class StandInWatcher : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ registeredItems)

public:
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList registeredItems() const
    {
        const QMutexLocker lock(&m_mutex);
        return m_items;
    }

public slots:
    void RegisterStatusNotifierItem(const QString &service)
    {
        const QMutexLocker lock(&m_mutex);
        m_items.append(service);
    }
    void RegisterStatusNotifierHost(const QString &) {}

private:
    mutable QMutex m_mutex;
    QStringList m_items;
};

// The tray on a D-Bus notification area, where the host activates the icon (Trigger) and never
// double-clicks it. Runs on a private desktop with a session bus of its own.
class TestTrayDBus : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void activationTogglesTheWindowAndTheIconLeavesWithIt();

private:
    QDBusConnection m_desktop = QDBusConnection(u"desktop"_s);
    QThread m_watcherThread;
    StandInWatcher m_watcher;
    QDBusMessage callItem(const QString &method, const QVariantList &arguments);
    // The program serves the item on this thread, so a call waits with the event loop running.
    QDBusMessage callWaiting(const QDBusMessage &call);
};

void TestTrayDBus::initTestCase()
{
    // A connection of its own, so the program's calls reach the watcher over the bus.
    m_watcher.moveToThread(&m_watcherThread);
    m_watcherThread.start();
    m_desktop = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"desktop"_s);
    QVERIFY2(m_desktop.isConnected(), "no session bus: run this test through with-desktop.sh");
    QVERIFY(m_desktop.registerObject(u"/StatusNotifierWatcher"_s, &m_watcher,
                                     QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties));
    QVERIFY(m_desktop.registerService(u"org.kde.StatusNotifierWatcher"_s));
}

void TestTrayDBus::cleanupTestCase()
{
    m_desktop.unregisterObject(u"/StatusNotifierWatcher"_s);
    m_watcherThread.quit();
    m_watcherThread.wait();
}

QDBusMessage TestTrayDBus::callItem(const QString &method, const QVariantList &arguments)
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(m_watcher.registeredItems().constLast(), u"/StatusNotifierItem"_s,
                                       u"org.kde.StatusNotifierItem"_s, method);
    call.setArguments(arguments);
    return callWaiting(call);
}

QDBusMessage TestTrayDBus::callWaiting(const QDBusMessage &call)
{
    QDBusPendingCall pending = m_desktop.asyncCall(call);
    QDeadlineTimer deadline(10000);
    while (!pending.isFinished() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return pending.reply();
}

void TestTrayDBus::activationTogglesTheWindowAndTheIconLeavesWithIt()
{
    WindowTestEnvironment environment;
    auto *form = new frmMain;
    form->show();
    QTRY_COMPARE(m_watcher.registeredItems().size(), 1);
    const QString item = m_watcher.registeredItems().constFirst();

    // The tooltip as the host reads it: (icon name, icon pixmaps, title, text).
    QDBusMessage get = QDBusMessage::createMethodCall(item, u"/StatusNotifierItem"_s,
                                                      u"org.freedesktop.DBus.Properties"_s, u"Get"_s);
    get << u"org.kde.StatusNotifierItem"_s << u"ToolTip"_s;
    const QDBusMessage tip = callWaiting(get);
    QCOMPARE(tip.type(), QDBusMessage::ReplyMessage);
    const QDBusArgument tooltip =
        tip.arguments().constFirst().value<QDBusVariant>().variant().value<QDBusArgument>();
    QString iconName;
    QString title;
    tooltip.beginStructure();
    tooltip >> iconName;
    tooltip.beginArray();
    while (!tooltip.atEnd()) {
        int width = 0;
        int height = 0;
        QByteArray pixels;
        tooltip.beginStructure();
        tooltip >> width >> height >> pixels;
        tooltip.endStructure();
    }
    tooltip.endArray();
    tooltip >> title;
    tooltip.endStructure();
    QCOMPARE(title, u"Pexa Resizer"_s);

    form->findChild<QAction *>(u"HideInTray"_s)->trigger();
    QTRY_VERIFY(!form->isVisible());

    // A left click in the host arrives as Activate: the hidden window comes back, normal.
    QCOMPARE(callItem(u"Activate"_s, {0, 0}).type(), QDBusMessage::ReplyMessage);
    QTRY_VERIFY(form->isVisible());
    QVERIFY(!form->isMinimized());

    QCOMPARE(callItem(u"Activate"_s, {0, 0}).type(), QDBusMessage::ReplyMessage);
    QTRY_VERIFY(!form->isVisible());
    QVERIFY(form->windowState() & Qt::WindowMinimized);

    // A middle click (SecondaryActivate) is not an activation.
    QCOMPARE(callItem(u"SecondaryActivate"_s, {0, 0}).type(), QDBusMessage::ReplyMessage);
    QTest::qWait(200);
    QVERIFY(!form->isVisible());

    delete form;
    QTRY_VERIFY(!m_desktop.interface()->isServiceRegistered(item).value());
}

QTEST_MAIN(TestTrayDBus)
#include "tst_traydbus.moc"
