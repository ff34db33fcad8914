#include "Controls.h"
#include "Settings.h"
#include "WindowTestEnvironment.h"
#include "frmMain.h"
#include "frmWebOptions.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace Qt::Literals::StringLiterals;

// The Web Options dialog: reached from the Options menu, worked from the keyboard, read by
// its captions, and each choice stored the moment it changes.
class TestWebOptions : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void optionsMenuOpensTheDialogOverTheMainWindow();
    void captionsNameTheBoxesAndDescriptionsExplainThem();
    void keysMoveTickStoreAndClose();
    void galleryGroupIsNamedByItsLabelsAndFollowsCopies();
    void galleryChoicesAreStoredWhenEditingFinishes();
    void pageChoicesAreStoredAndShownAgain_data();
    void pageChoicesAreStoredAndShownAgain();

private:
    struct Box
    {
        QCheckBox *box;
        QString caption;
        SettingKey key;
    };
    static QList<Box> boxes(frmWebOptions &dialog);

    std::unique_ptr<WindowTestEnvironment> m_env;
};

void TestWebOptions::init()
{
    m_env = std::make_unique<WindowTestEnvironment>();
}

void TestWebOptions::cleanup()
{
    const QStringList left = m_env->leftovers();
    m_env.reset();
    QVERIFY2(left.isEmpty(), qPrintable(left.join(u"; "_s)));
}

QList<TestWebOptions::Box> TestWebOptions::boxes(frmWebOptions &dialog)
{
    return {{dialog.chkStripPrivate, u"Remove location and camera details"_s, SettingKeys::WebStripPrivate},
            {dialog.chkAutoOrient, u"Turn pictures upright"_s, SettingKeys::WebAutoOrient},
            {dialog.chkSrgb, u"Convert colours to sRGB"_s, SettingKeys::WebSrgb},
            {dialog.chkFastDecode, u"Faster decoding of large JPEGs"_s, SettingKeys::WebFastDecode}};
}

void TestWebOptions::optionsMenuOpensTheDialogOverTheMainWindow()
{
    frmMain form;
    form.show();
    auto *options = control<QMenu>(form, u"Options");
    QCOMPARE(options->title(), u"Options"_s);
    QCOMPARE(form.menuBar()->actions().indexOf(options->menuAction()), 1);
    auto *entry = control<QAction>(form, u"mnuWebOptions");
    QCOMPARE(options->actions(), QList<QAction *>{entry});
    QCOMPARE(entry->text(), u"Web Options…"_s);

    bool seen = false;
    QTimer::singleShot(0, this, [&] {
        auto *dialog = qobject_cast<frmWebOptions *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        seen = true;
        QCOMPARE(dialog->objectName(), u"frmWebOptions"_s);
        QCOMPARE(dialog->windowTitle(), u"Web Options"_s);
        QCOMPARE(dialog->parentWidget(), &form);
        dialog->chkSrgb->click();
        dialog->reject();
    });
    entry->trigger();
    QVERIFY(seen);
    QCOMPARE(ReadIniValue(SettingKeys::WebSrgb), u"1"_s);
    QVERIFY(!form.findChild<frmWebOptions *>());
}

void TestWebOptions::captionsNameTheBoxesAndDescriptionsExplainThem()
{
    frmWebOptions dialog;
    dialog.show();
    QCOMPARE(dialog.fraCopies->title(), u"Copies"_s);
    for (const Box &each : boxes(dialog)) {
        QCOMPARE(each.box->text(), each.caption);
        QCOMPARE(each.box->parentWidget(), dialog.fraCopies);
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(each.box);
        QVERIFY(accessible);
        QCOMPARE(accessible->text(QAccessible::Name), each.caption);
        QVERIFY2(accessible->text(QAccessible::Description).size() > each.caption.size(),
                 qPrintable(each.caption));
        QVERIFY(!each.box->isChecked());
    }
    QCOMPARE(QAccessible::queryAccessibleInterface(dialog.cmdClose)->text(QAccessible::Name), u"Close"_s);
}

void TestWebOptions::keysMoveTickStoreAndClose()
{
    WriteIniValue(SettingKeys::WebAutoOrient, u"1"_s);
    frmWebOptions dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    const QList<Box> all = boxes(dialog);
    // The stored choice is shown; the others are off.
    QVERIFY(dialog.chkAutoOrient->isChecked());
    QVERIFY(!dialog.chkStripPrivate->isChecked());

    // Tab runs down the boxes to Close and round again; Space ticks and unticks, each change
    // stored at once.
    dialog.chkStripPrivate->setFocus();
    QList<QWidget *> order;
    for (int step = 0; step < 7; ++step) {
        QWidget *focus = QApplication::focusWidget();
        order.append(focus);
        for (const Box &each : all) {
            if (each.box != focus)
                continue;
            const bool before = each.box->isChecked();
            QTest::keyClick(each.box, Qt::Key_Space);
            QCOMPARE(each.box->isChecked(), !before);
            QCOMPARE(ReadIniValue(each.key), before ? u"0"_s : u"1"_s);
        }
        QTest::keyClick(focus, Qt::Key_Tab);
    }
    // The page fields are passed over while pages are off.
    QCOMPARE(order, (QList<QWidget *>{dialog.chkStripPrivate, dialog.chkAutoOrient, dialog.chkSrgb,
                                      dialog.chkFastDecode, dialog.chkPages, dialog.cmdClose,
                                      dialog.chkStripPrivate}));
    QCOMPARE(ReadIniValue(SettingKeys::WebStripPrivate), u"0"_s);
    QCOMPARE(ReadIniValue(SettingKeys::WebAutoOrient), u"0"_s);
    QCOMPARE(ReadIniValue(SettingKeys::WebSrgb), u"1"_s);
    QCOMPARE(ReadIniValue(SettingKeys::WebFastDecode), u"1"_s);

    // Enter presses Close, the default button; Escape closes as well.
    QTest::keyClick(dialog.chkSrgb, Qt::Key_Return);
    QVERIFY(!dialog.isVisible());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QVERIFY(!dialog.isVisible());
    // Closing changed nothing.
    QCOMPARE(ReadIniValue(SettingKeys::WebSrgb), u"1"_s);
    QCOMPARE(ReadIniValue(SettingKeys::WebStripPrivate), u"0"_s);
}

void TestWebOptions::galleryGroupIsNamedByItsLabelsAndFollowsCopies()
{
    frmWebOptions dialog;
    dialog.setImageRoot(u"/home/ann/Summer 2008/"_s);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QCOMPARE(dialog.fraPages->title(), u"Gallery pages"_s);
    QVERIFY(dialog.fraPages->geometry().top() > dialog.fraCopies->geometry().bottom());
    QCOMPARE(dialog.chkPages->text(), u"Write gallery pages"_s);
    QCOMPARE(dialog.lblTitle->text(), u"Title:"_s);
    QCOMPARE(dialog.lblPageName->text(), u"Page name:"_s);
    QCOMPARE(dialog.lblTitle->buddy(), dialog.txtTitle);
    QCOMPARE(dialog.lblPageName->buddy(), dialog.txtPageName);
    QCOMPARE(dialog.lblOrder->buddy(), dialog.cmbOrder);
    QCOMPARE(dialog.lblWebAddress->buddy(), dialog.txtWebAddress);
    for (const auto &[field, name] :
         {std::pair<QWidget *, QString>{dialog.chkPages, u"Write gallery pages"_s},
          {dialog.txtTitle, u"Title:"_s},
          {dialog.txtPageName, u"Page name:"_s},
          {dialog.chkPhotoPages, u"Photo pages"_s},
          {dialog.txtWebAddress, u"Web address:"_s}}) {
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(field);
        QCOMPARE(accessible->text(QAccessible::Name), name);
        QVERIFY2(accessible->text(QAccessible::Description).size() > name.size(), qPrintable(name));
    }
    // A combo box reads as its item, labelled by the label beside it.
    QAccessibleInterface *combo = QAccessible::queryAccessibleInterface(dialog.cmbOrder);
    QList<QObject *> labels;
    for (const auto &[label, relation] : combo->relations(QAccessible::Label))
        labels.append(label->object());
    // The group's title labels every control in it as well.
    QCOMPARE(labels, (QList<QObject *>{dialog.lblOrder, dialog.fraPages}));
    QVERIFY(combo->text(QAccessible::Description).startsWith(u"The order each page shows"_s));
    QVERIFY(dialog.chkPhotoPages->geometry().top() > dialog.txtPageName->geometry().bottom());

    // The defaults: no pages, the image root's folder for a title, index.html; the fields wait
    // for the box.
    QVERIFY(!dialog.chkPages->isChecked());
    QCOMPARE(dialog.txtTitle->text(), QString());
    QCOMPARE(dialog.txtTitle->placeholderText(), u"Summer 2008"_s);
    QCOMPARE(dialog.txtPageName->text(), u"index.html"_s);
    QCOMPARE(dialog.txtWebAddress->placeholderText(), u"https://example.org/photos/"_s);
    const QList<QWidget *> pageFields{dialog.lblTitle,      dialog.txtTitle,     dialog.txtPageName,
                                      dialog.chkPhotoPages, dialog.lblOrder,     dialog.cmbOrder,
                                      dialog.lblWebAddress, dialog.txtWebAddress};
    for (QWidget *field : pageFields)
        QVERIFY2(!field->isEnabled(), qPrintable(field->objectName()));
    // Showing the defaults stores none of them.
    QCOMPARE(ReadIniValue(SettingKeys::WebOrder), QString());
    QCOMPARE(ReadIniValue(SettingKeys::WebPhotoPages), QString());

    // Ticked, Tab runs on from the last copy choice down the group to Close.
    dialog.chkFastDecode->setFocus();
    QTest::keyClick(dialog.chkFastDecode, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), dialog.chkPages);
    QTest::keyClick(dialog.chkPages, Qt::Key_Space);
    for (QWidget *field : pageFields)
        QVERIFY2(field->isEnabled(), qPrintable(field->objectName()));
    QCOMPARE(ReadIniValue(SettingKeys::WebPages), u"1"_s);
    QList<QWidget *> order;
    for (int step = 0; step < 6; ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order.append(QApplication::focusWidget());
    }
    QCOMPARE(order, (QList<QWidget *>{dialog.txtTitle, dialog.txtPageName, dialog.chkPhotoPages,
                                      dialog.cmbOrder, dialog.txtWebAddress, dialog.cmdClose}));
}

void TestWebOptions::galleryChoicesAreStoredWhenEditingFinishes()
{
    WriteIniValue(SettingKeys::WebPages, u"1"_s);
    WriteIniValue(SettingKeys::WebTitle, u"Old title"_s);
    frmWebOptions dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QVERIFY(dialog.chkPages->isChecked());
    QCOMPARE(dialog.txtTitle->text(), u"Old title"_s);

    // Typing alone stores nothing; leaving the field does.
    dialog.txtTitle->setFocus();
    dialog.txtTitle->selectAll();
    QTest::keyClicks(dialog.txtTitle, u"Holiday & friends"_s);
    QCOMPARE(ReadIniValue(SettingKeys::WebTitle), u"Old title"_s);
    QTest::keyClick(dialog.txtTitle, Qt::Key_Tab);
    QCOMPARE(ReadIniValue(SettingKeys::WebTitle), u"Holiday & friends"_s);

    dialog.txtPageName->selectAll();
    QTest::keyClicks(dialog.txtPageName, u"album.htm"_s);
    QCOMPARE(ReadIniValue(SettingKeys::WebPageName), QString());
    // Enter finishes the edit and, as the dialog's default button is Close, closes it.
    QTest::keyClick(dialog.txtPageName, Qt::Key_Return);
    QCOMPARE(ReadIniValue(SettingKeys::WebPageName), u"album.htm"_s);
    QVERIFY(!dialog.isVisible());

    // An edit still in hand when Escape closes the dialog is kept as shown; a line break that
    // came with a paste is not.
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    dialog.txtTitle->setFocus();
    dialog.txtTitle->setText(u"Two\nlines "_s);
    QTest::keyClick(dialog.txtTitle, Qt::Key_Escape);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(ReadIniValue(SettingKeys::WebTitle), u"Two lines"_s);
    QCOMPARE(dialog.txtTitle->text(), u"Two lines"_s);
    QCOMPARE(m_env->boxes.shown().size(), 0);
}

void TestWebOptions::pageChoicesAreStoredAndShownAgain_data()
{
    // The control and its key; the text stored before (null for none) and what the control shows
    // then; what the user does (a click, the item reached or the text typed); what is stored and
    // shown after, also by the next dialog; a refusal's title and message. A box shows "1" when
    // ticked.
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("after");
    QTest::addColumn<QStringList>("refusal");
    const auto row = [](const char *name, const QString &control, const QString &key, const QString &before,
                        const QString &shown, const QString &input, const QString &after,
                        const QStringList &refusal = {}) {
        QTest::newRow(name) << control << key << before << shown << input << after << refusal;
    };
    const QString photoPages = u"chkPhotoPages"_s, order = u"cmbOrder"_s, address = u"txtWebAddress"_s;
    const QString site = u"https://example.org/photos/"_s;
    const QStringList badAddress{u"Web address"_s,
                                 u"A web address must start with https:// or http:// and name a host!!"_s};
    row("photo pages on by default", photoPages, u"photo_pages"_s, QString(), u"1"_s, QString(), u"0"_s);
    row("photo pages back on", photoPages, u"photo_pages"_s, u"0"_s, u"0"_s, QString(), u"1"_s);
    row("order by name", order, u"order"_s, QString(), u"Time taken"_s, u"Name"_s, u"name"_s);
    row("order from an unknown text", order, u"order"_s, u"size"_s, u"Time taken"_s, u"Scan order"_s,
        u"scan"_s);
    row("order back to time taken", order, u"order"_s, u"name"_s, u"Name"_s, u"Time taken"_s, u"taken"_s);
    row("address given its final slash", address, u"web_address"_s, QString(), QString(),
        u" http://example.org/photos/2008 "_s, u"http://example.org/photos/2008/"_s);
    row("address emptied", address, u"web_address"_s, site, site, QString(), QString());
    row("address without a scheme", address, u"web_address"_s, site, site, u"example.org/photos"_s, site,
        badAddress);
    row("address of ftp", address, u"web_address"_s, site, site, u"ftp://example.org/photos/"_s, site,
        badAddress);
    row("address with a query", address, u"web_address"_s, site, site, u"https://example.org/?album=1"_s,
        site, badAddress);

    const QString page = u"txtPageName"_s, old = u"gallery.html"_s;
    const QStringList badPage{u"Page name"_s,
                              u"A page name must end in .html or .htm and cannot hold a \"/\"!!"_s};
    row("page in a folder", page, u"page_name"_s, old, old, u"pages/index.html"_s, old, badPage);
    row("page a script", page, u"page_name"_s, old, old, u"index.php"_s, old, badPage);
    row("page without extension", page, u"page_name"_s, old, old, u"index"_s, old, badPage);
    row("page hidden", page, u"page_name"_s, old, old, u".htm"_s, old, badPage);
    row("page emptied", page, u"page_name"_s, old, old, QString(), old, badPage);
    row("page in upper case", page, u"page_name"_s, old, old, u"ALBUM.HTML"_s, u"ALBUM.HTML"_s);
    row("page with blanks around", page, u"page_name"_s, old, old, u"  photos.htm "_s, u"photos.htm"_s);
}

void TestWebOptions::pageChoicesAreStoredAndShownAgain()
{
    QFETCH(QString, control);
    QFETCH(QString, key);
    QFETCH(QString, before);
    QFETCH(QString, shown);
    QFETCH(QString, input);
    QFETCH(QString, after);
    QFETCH(QStringList, refusal);
    const SettingKey setting{u"web"_s, key, QString()};
    WriteIniValue(SettingKeys::WebPages, u"1"_s);
    if (!before.isNull())
        WriteIniValue(setting, before);
    const auto shownBy = [&](frmWebOptions &dialog) {
        QWidget *widget = dialog.findChild<QWidget *>(control);
        if (auto *box = qobject_cast<QCheckBox *>(widget))
            return box->isChecked() ? u"1"_s : u"0"_s;
        if (auto *combo = qobject_cast<QComboBox *>(widget))
            return combo->currentText();
        return qobject_cast<QLineEdit *>(widget)->text();
    };

    auto dialog = std::make_unique<frmWebOptions>();
    dialog->show();
    QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
    QCOMPARE(shownBy(*dialog), shown);
    QWidget *widget = dialog->findChild<QWidget *>(control);
    widget->setFocus();
    if (auto *combo = qobject_cast<QComboBox *>(widget)) {
        const int target = combo->findText(input);
        QVERIFY(target >= 0);
        while (combo->currentIndex() != target)
            QTest::keyClick(combo, target > combo->currentIndex() ? Qt::Key_Down : Qt::Key_Up);
    } else if (auto *field = qobject_cast<QLineEdit *>(widget)) {
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, input);
        QCOMPARE(ReadIniValue(setting), before);
        QTest::keyClick(field, Qt::Key_Tab);
    } else {
        QTest::keyClick(widget, Qt::Key_Space);
    }
    QCOMPARE(ReadIniValue(setting), after);
    // A combo box shows the item's caption, the others what is stored.
    const QString shownAfter = qobject_cast<QComboBox *>(widget) ? input : after;
    QCOMPARE(shownBy(*dialog), shownAfter);
    QCOMPARE(m_env->boxes.take(), refusal.mid(1));
    if (!refusal.isEmpty()) {
        QCOMPARE(m_env->boxes.shown().last().title, refusal.first());
        QCOMPARE(m_env->boxes.shown().last().icon, MessageBoxService::Icon::Critical);
        // The old text stays through the dialog's close as well: one box, not two.
        dialog->close();
        QCOMPARE(m_env->boxes.shown().size(), 1);
    }
    dialog = std::make_unique<frmWebOptions>();
    QCOMPARE(shownBy(*dialog), shownAfter);
}

QTEST_MAIN(TestWebOptions)
#include "tst_weboptions.moc"
