// What a screen reader is told: the start button's interface and events,
// and the main window's labelled rows and announced outcome.
#include <algorithm>
#include <cmath>

#include <QAccessible>
#include <QSignalSpy>

#include "circular_progress_button.h"
#include "test_support.h"

namespace {

// What an assistive technology was told, in order.
struct Heard {
    QAccessible::Event type;
    QObject* object;
    QVariant value;     // of a value change
    QString name;       // the object's name when told
    bool disabled;      // of a state change: whether the disabled flag changed
};
QList<Heard> heard;

void listen(QAccessibleEvent* event)
{
    Heard h{event->type(), event->object(), {}, {}, false};
    if (event->type() == QAccessible::ValueChanged)
        h.value = static_cast<QAccessibleValueChangeEvent*>(event)->value();
    if (event->type() == QAccessible::StateChanged)
        h.disabled = static_cast<QAccessibleStateChangeEvent*>(event)->changedStates().disabled;
    if (QAccessibleInterface* iface = event->accessibleInterface())
        h.name = iface->text(QAccessible::Name);
    heard.append(h);
}

QList<Heard> heardFrom(QObject* object, QAccessible::Event type)
{
    QList<Heard> out;
    for (const Heard& h : heard)
        if (h.object == object && h.type == type)
            out.append(h);
    return out;
}

QList<int> valuesFrom(QObject* object)
{
    QList<int> out;
    for (const Heard& h : heardFrom(object, QAccessible::ValueChanged))
        out.append(h.value.toInt());
    return out;
}

QAccessibleInterface* accessible(QObject* object)
{
    return QAccessible::queryAccessibleInterface(object);
}

const QString description = QStringLiteral("Computes pi to 8,388,608 digits five times and scores this processor");

}  // namespace

class TestAccessibility : public QObject {
    Q_OBJECT
    QWidget* window = nullptr;
    CircularProgressButton* button = nullptr;

private slots:
    void initTestCase()
    {
        // Events reach the handler, in place of the bridge, only once the
        // platform's bridge is active (atspi_session.sh gives it its bus).
        QTRY_VERIFY2(QAccessible::isActive(), "no active accessibility bridge: run under atspi_session.sh");
        QAccessible::installUpdateHandler(listen);
    }
    void init()
    {
        window = new QWidget;
        window->resize(300, 300);
        button = new CircularProgressButton(QRect(0, 0, 160, 160), window);
        button->setTitle(QStringLiteral("START"));
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        heard.clear();
    }
    void cleanup() { delete window; }

    // The interface a screen reader gets for the button in each state; its
    // press action does what a click does, and nothing while disabled.
    void buttonInterface_data()
    {
        QTest::addColumn<QString>("accessibleName");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<double>("progress");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("value");
        QTest::newRow("idle") << "" << true << 0.0 << "START" << 0;
        QTest::newRow("running: disabled, busy") << "" << false << 0.4242 << "START" << 42;
        QTest::newRow("an explicit name wins") << "Run the benchmark" << true << 1.0 << "Run the benchmark" << 100;
    }
    void buttonInterface()
    {
        QFETCH(QString, accessibleName);
        QFETCH(bool, enabled);
        QFETCH(double, progress);
        QFETCH(QString, name);
        QFETCH(int, value);
        button->setAccessibleName(accessibleName);
        button->setEnabled(enabled);
        button->setProgress(progress);

        QAccessibleInterface* iface = accessible(button);
        QVERIFY(iface && iface->isValid());
        QCOMPARE(iface->role(), QAccessible::Button);
        QCOMPARE(iface->text(QAccessible::Name), name);
        QCOMPARE(bool(iface->state().disabled), !enabled);
        QCOMPARE(bool(iface->state().busy), !enabled);
        // The painted title is the name, not a child to read twice.
        QCOMPARE(iface->childCount(), 0);
        QCOMPARE(iface->parent()->object(), window);
        QVERIFY(iface->parent()->indexOfChild(iface) >= 0);
        QCOMPARE(iface->rect(), QRect(window->mapToGlobal(QPoint(0, 0)), QSize(160, 160)));

        QAccessibleValueInterface* v = iface->valueInterface();
        QVERIFY(v);
        QCOMPARE(v->minimumValue().toInt(), 0);
        QCOMPARE(v->maximumValue().toInt(), 100);
        QCOMPARE(v->currentValue().toInt(), value);
        v->setCurrentValue(77);  // a reader cannot move the series along
        QCOMPARE(v->currentValue().toInt(), value);

        int handled = 0;
        QSignalSpy spy(button, &CircularProgressButton::clicked);
        button->setOnClick([&] { QCOMPARE(spy.count(), ++handled); });
        QAccessibleActionInterface* actions = iface->actionInterface();
        QVERIFY(actions);
        QCOMPARE(actions->actionNames().value(0), QAccessibleActionInterface::pressAction());
        actions->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(spy.count(), int(enabled));
        QCOMPARE(handled, int(enabled));
    }

    // Value changes sent from the setter, once per whole percent that changes.
    void valueEvents_data()
    {
        QTest::addColumn<QList<double>>("progress");
        QTest::addColumn<QList<int>>("events");
        QTest::newRow("a series' ring") << QList<double>{0.1, 0.25, 0.5, 0.999, 1.0} << QList<int>{10, 25, 50, 100};
        QTest::newRow("fine steps report every percent")
            << QList<double>{0.011, 0.019, 0.021, 0.034} << QList<int>{1, 2, 3};
        QTest::newRow("clamped, NaN to 0") << QList<double>{1.5, 2.0, -1.0, std::nan(""), 0.0} << QList<int>{100, 0};
        QTest::newRow("below half a percent stays 0") << QList<double>{0.004, -0.0} << QList<int>{};
    }
    void valueEvents()
    {
        QFETCH(QList<double>, progress);
        QFETCH(QList<int>, events);
        button->setEnabled(false);
        heard.clear();
        QList<int> readBack;
        for (double p : progress) {
            const qsizetype before = heardFrom(button, QAccessible::ValueChanged).size();
            button->setProgress(p);
            // Each event carries what the interface reads at that moment.
            if (heardFrom(button, QAccessible::ValueChanged).size() > before)
                readBack.append(accessible(button)->valueInterface()->currentValue().toInt());
        }
        QCOMPARE(valuesFrom(button), events);
        QCOMPARE(readBack, events);
    }

    // The rest of what a screen reader is told about the button.
    void nameAndStateEvents()
    {
        button->setTitle(QStringLiteral("START"));
        QCOMPARE(heardFrom(button, QAccessible::NameChanged).size(), 0);
        button->setTitle(QStringLiteral("STOP"));
        const QList<Heard> renamed = heardFrom(button, QAccessible::NameChanged);
        QCOMPARE(renamed.size(), 1);
        QCOMPARE(renamed[0].name, QStringLiteral("STOP"));

        button->setEnabled(false);
        button->setEnabled(true);
        int disabledChanges = 0;
        for (const Heard& h : heardFrom(button, QAccessible::StateChanged))
            disabledChanges += h.disabled;
        QCOMPARE(disabledChanges, 2);

        heard.clear();
        button->setAccessibleName(QStringLiteral("Begin"));
        button->setTitle(QStringLiteral("START"));
        QCOMPARE(accessible(button)->text(QAccessible::Name), QStringLiteral("Begin"));
        for (const Heard& h : heardFrom(button, QAccessible::NameChanged))
            QCOMPARE(h.name, QStringLiteral("Begin"));
    }

    // The main window: the described button, and a series announced by the
    // score label's name, again when it ends as the one before. (atspi_tree.py
    // reads the labelled rows and a successful series from outside.)
    void mainView_data()
    {
        QTest::addColumn<int>("success");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("announcement");
        QTest::addColumn<QString>("timeName");
        QTest::newRow("successful series") << 1 << "" << "Score: 9876, time: 12.346 sec" << "Time: 12.346 sec";
        QTest::newRow("failed series") << 0 << "Computed digits do not match pi (run 3 of 5)"
                                       << "Score: --, Computed digits do not match pi (run 3 of 5)"
                                       << "Computed digits do not match pi (run 3 of 5)";
    }
    void mainView()
    {
        QFETCH(int, success);
        QFETCH(QString, message);
        QFETCH(QString, announcement);
        QFETCH(QString, timeName);
        FakeSeries series;
        series.held = true;
        series.ends(success, message);
        MainViewController view(testMachine, series.function());
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        CircularProgressButton* start = view.startButton();
        QAccessibleInterface* startIface = accessible(start);
        QCOMPARE(startIface->text(QAccessible::Name), QStringLiteral("START"));
        QCOMPARE(startIface->text(QAccessible::Description), description);

        QLabel* score = view.scoreValueLabel();
        QCOMPARE(accessible(score)->text(QAccessible::Name), QStringLiteral("Score: --"));
        QCOMPARE(accessible(view.timeValueLabel())->text(QAccessible::Name), QStringLiteral("Time: --"));

        // Twice: the second series ends as the first did and is announced again.
        for (int round = 0; round < 2; ++round) {
            heard.clear();
            accessible(start)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
            QVERIFY(view.coordinator().isRunning());
            if (round == 0) {
                QTRY_COMPARE(valuesFrom(start).value(valuesFrom(start).size() - 1, -1), 100);
                QCOMPARE(accessible(score)->text(QAccessible::Name), QStringLiteral("Score: --"));
                series.release.set_value();
            }
            QTRY_VERIFY(start->isEnabled());
            QList<int> ring = valuesFrom(start);
            if (!success) {
                // A failed series empties the ring.
                QCOMPARE(ring.value(ring.size() - 1, -1), 0);
                ring.removeLast();
            }
            QVERIFY2(ring.size() >= 5 && std::is_sorted(ring.begin(), ring.end()) && ring.last() == 100,
                     qPrintable(QStringLiteral("%1 value events").arg(ring.size())));
            QStringList told;
            for (const Heard& h : heardFrom(score, QAccessible::NameChanged))
                told.append(h.name);
            // A new start first clears the former outcome.
            const QStringList expected =
                round == 0 ? QStringList{announcement} : QStringList{QStringLiteral("Score: --"), announcement};
            QCOMPARE(told, expected);
            QCOMPARE(accessible(view.timeValueLabel())->text(QAccessible::Name), timeName);
            QCOMPARE(startIface->valueInterface()->currentValue().toInt(), success ? 100 : 0);
        }
    }
};

QTEST_MAIN(TestAccessibility)
#include "test_accessibility.moc"
