#include "panelkit/uicontroller.h"
#include "test_environment.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QSignalSpy>
#include <QSpinBox>

#include <memory>
#include <stdexcept>

using kq::gui::ui_controller;
using kq::gui::widget_type_e;

Q_DECLARE_METATYPE(widget_type_e)

namespace {

// A panel with one widget of every kind and a caption beside each; the ids
// equal the widget types plus 100.
struct panel_t
{
    panel_t()
    {
        combo.addItem(QStringLiteral("9600"), 0u);
        combo.addItem(QStringLiteral("19200"), 1u);
        combo.addItem(QStringLiteral("115200"), 2u);
        spin.setRange(0, 1000);
        dspin.setRange(400.0, 450.0);
        dspin.setDecimals(3);
        add(kq::gui::checkbox, &check);
        add(kq::gui::lineedit, &line);
        add(kq::gui::spinbox, &spin);
        add(kq::gui::doublespinbox, &dspin);
        add(kq::gui::combobox, &combo);
        add(kq::gui::label, &text);
        add(kq::gui::progressbar, &bar);
        add(kq::gui::datetimeedit, &when);
        add(kq::gui::unmanaged, &other);
        controller = std::make_unique<ui_controller>(&params, &hints);
    }

    static uint32_t id(widget_type_e type) { return 100 + type; }

    void add(widget_type_e type, QWidget* widget)
    {
        params.insert(id(type), {type, widget});
        auto caption = std::make_unique<QLabel>(QStringLiteral("caption"));
        hints.insert(id(type), caption.get());
        captions.push_back(std::move(caption));
    }

    QWidget* caption(widget_type_e type) const { return hints.value(id(type)); }
    bool underlined(widget_type_e type) const { return caption(type)->font().underline(); }

    QCheckBox check;
    QLineEdit line;
    QSpinBox spin;
    QDoubleSpinBox dspin;
    QComboBox combo;
    QLabel text;
    QProgressBar bar;
    QDateTimeEdit when;
    QWidget other;
    std::vector<std::unique_ptr<QLabel>> captions;
    ui_controller::param_table_t params;
    ui_controller::hint_table_t hints;
    std::unique_ptr<ui_controller> controller;
};

const QDateTime load_time(QDate(2026, 3, 1), QTime(12, 0, 0), Qt::UTC);
const QDateTime edit_time(QDate(2026, 3, 2), QTime(8, 30, 15), Qt::UTC);

// Edits the widget of `type` as a user would and returns the value the
// controller should then collect.
QVariant edit(panel_t& p, widget_type_e type)
{
    switch (type) {
    case kq::gui::checkbox:
        p.check.click();
        return p.check.isChecked();
    case kq::gui::lineedit:
        QTest::keyClick(&p.line, Qt::Key_7);
        return p.line.text();
    case kq::gui::spinbox:
        p.spin.stepUp();
        return p.spin.value();
    case kq::gui::doublespinbox:
        p.dspin.setValue(437.05);
        return 437.05;
    case kq::gui::combobox:
        p.combo.setCurrentIndex(2);
        return 2u;
    case kq::gui::datetimeedit:
        p.when.setDateTime(edit_time);
        return edit_time;
    default:
        return {};
    }
}

// The widget's current value, as the controller would collect it.
QVariant value_of(const panel_t& p, widget_type_e type)
{
    switch (type) {
    case kq::gui::checkbox:
        return p.check.isChecked();
    case kq::gui::lineedit:
        return p.line.text();
    case kq::gui::spinbox:
        return p.spin.value();
    case kq::gui::doublespinbox:
        return p.dspin.value();
    case kq::gui::combobox:
        return p.combo.currentData();
    case kq::gui::datetimeedit:
        return p.when.dateTime();
    default:
        return {};
    }
}

// What the widget of `type` shows, as the user reads it.
QString shown(const panel_t& p, widget_type_e type)
{
    switch (type) {
    case kq::gui::checkbox:
        return QString::number(p.check.checkState());
    case kq::gui::lineedit:
        return p.line.text().isEmpty() ? p.line.placeholderText() : p.line.text();
    case kq::gui::spinbox:
        return p.spin.text();
    case kq::gui::doublespinbox:
        return p.dspin.text();
    case kq::gui::combobox:
        return p.combo.currentText();
    case kq::gui::label:
        return p.text.text();
    case kq::gui::progressbar:
        return p.bar.text();
    default:
        return {};
    }
}

QWidget* widget_of(panel_t& p, widget_type_e type)
{
    return qobject_cast<QWidget*>(p.params.value(panel_t::id(type)).second);
}

} // namespace

// How a panel's widgets are loaded, edited, collected, discarded and marked.
class tst_ui_controller : public QObject
{
    Q_OBJECT

private slots:
    void editors_data();
    void editors();
    void display_widgets_are_written_not_collected();
    void values_not_given_are_no_values_data();
    void values_not_given_are_no_values();
    void loading_changes_are_not_edits();
    void same_field_twice_is_one_entry_two_signals();
    void edits_are_collected_in_order_of_first_edit();
    void discard_restores_saved_values();
    void discard_without_saved_value_keeps_the_edit();
    void remove_changed_parameter();
    void combo_box_without_matching_data_selects_nothing();
    void unknown_ids_are_ignored();
    void invalid_types_are_refused();
    void error_hint_and_clear_hints();
    void no_hint_table_means_no_hints();
};

void tst_ui_controller::editors_data()
{
    QTest::addColumn<widget_type_e>("type");
    QTest::addColumn<QVariant>("loaded");

    QTest::newRow("check box") << kq::gui::checkbox << QVariant(true);
    QTest::newRow("line edit") << kq::gui::lineedit << QVariant(QStringLiteral("CQ"));
    QTest::newRow("spin box") << kq::gui::spinbox << QVariant(42);
    QTest::newRow("double spin box") << kq::gui::doublespinbox << QVariant(435.125);
    QTest::newRow("combo box") << kq::gui::combobox << QVariant(1u);
    QTest::newRow("date-time edit") << kq::gui::datetimeedit << QVariant(load_time);
}

void tst_ui_controller::editors()
{
    QFETCH(widget_type_e, type);
    QFETCH(QVariant, loaded);
    panel_t p;
    QSignalSpy spy(p.controller.get(), &ui_controller::on_data_changed);
    const uint32_t id = panel_t::id(type);

    p.controller->set_loading_data(true);
    p.controller->set_data(id, loaded);
    p.controller->set_loading_data(false);
    QVERIFY(!p.controller->has_changed_parameters());

    QCOMPARE(value_of(p, type), loaded);

    const QVariant edited = edit(p, type);
    QVERIFY(edited != loaded);
    QCOMPARE(p.controller->changed_parameters(), QVector<uint32_t>{id});
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).value<uint32_t>(), id);
    QVERIFY(p.underlined(type));

    QVector<QPair<uint32_t, QVariant>> out;
    p.controller->collect_changed_params(out);
    QCOMPARE(out.size(), 1);
    QCOMPARE(out.at(0).first, id);
    QCOMPARE(out.at(0).second, edited);
    QVERIFY(p.controller->has_changed_parameters()); // collecting does not clear

    p.controller->discard_changes({{id, loaded}});
    QCOMPARE(value_of(p, type), loaded);
    QVERIFY(!p.controller->has_changed_parameters());
    QVERIFY(!p.underlined(type));
    QCOMPARE(spy.count(), 1);
}

void tst_ui_controller::values_not_given_are_no_values_data()
{
    QTest::addColumn<widget_type_e>("type");
    QTest::addColumn<QVariant>("loaded");
    QTest::addColumn<QString>("blank"); // what the field shows meanwhile

    const QString dash = QStringLiteral("\u2014");
    QTest::newRow("check box") << kq::gui::checkbox << QVariant(true)
                               << QString::number(Qt::PartiallyChecked);
    QTest::newRow("line edit") << kq::gui::lineedit << QVariant(QStringLiteral("CQ")) << dash;
    QTest::newRow("spin box") << kq::gui::spinbox << QVariant(0) << dash;
    QTest::newRow("double spin box") << kq::gui::doublespinbox << QVariant(435.125) << dash;
    QTest::newRow("combo box") << kq::gui::combobox << QVariant(1u) << QString();
    QTest::newRow("label") << kq::gui::label << QVariant(QStringLiteral("OK")) << dash;
    QTest::newRow("progress bar") << kq::gui::progressbar << QVariant(64) << QString();
}

// Until the device gives a value the field shows none, greyed, and says
// why; an edit is the user's value, and discarding it brings the mark back.
void tst_ui_controller::values_not_given_are_no_values()
{
    QFETCH(widget_type_e, type);
    QFETCH(QVariant, loaded);
    QFETCH(QString, blank);
    panel_t p;
    QWidget* field = widget_of(p, type);
    const QPalette normal = field->palette();
    field->setToolTip(QStringLiteral("own tip"));
    QSignalSpy spy(p.controller.get(), &ui_controller::on_data_changed);
    const uint32_t id = panel_t::id(type);
    const auto load = [&] {
        const ui_controller::loading_scope shown_by_device(*p.controller);
        p.controller->set_data(id, loaded);
    };

    load(); // a value shown before the failed read
    p.controller->set_unknown(id, QStringLiteral("no answer"));
    QCOMPARE(shown(p, type), blank);
    QCOMPARE(field->toolTip(), QStringLiteral("no answer"));
    QCOMPARE(p.controller->unknown_reason(id), QStringLiteral("no answer"));
    QCOMPARE(field->palette().color(QPalette::Active, QPalette::Text),
             normal.color(QPalette::Disabled, QPalette::Text));
    QVERIFY(!p.controller->has_changed_parameters());
    QCOMPARE(spy.count(), 0);

    if (type != kq::gui::label && type != kq::gui::progressbar) {
        edit(p, type);
        QCOMPARE(field->toolTip(), QStringLiteral("own tip"));
        QVERIFY(shown(p, type) != blank);
        QCOMPARE(p.controller->changed_parameters(), QVector<uint32_t>{id});
        p.controller->discard_changes({});
        QCOMPARE(shown(p, type), blank);
        QCOMPARE(field->toolTip(), QStringLiteral("no answer"));
    }

    load();
    QVERIFY(shown(p, type) != blank);
    QCOMPARE(field->toolTip(), QStringLiteral("own tip"));
    QCOMPARE(field->palette(), normal);
    QVERIFY(p.controller->unknown_reason(id).isEmpty());
    QVERIFY(!p.controller->has_changed_parameters());
}

void tst_ui_controller::display_widgets_are_written_not_collected()
{
    panel_t p;
    p.controller->set_data(panel_t::id(kq::gui::label), QStringLiteral("-87 dBm"));
    p.controller->set_data(panel_t::id(kq::gui::progressbar), 64);
    QCOMPARE(p.text.text(), QStringLiteral("-87 dBm"));
    QCOMPARE(p.bar.value(), 64);
    QVERIFY(!p.controller->has_changed_parameters());

    QVector<QPair<uint32_t, QVariant>> out;
    p.controller->collect_changed_params(out);
    QVERIFY(out.isEmpty());
}

void tst_ui_controller::loading_changes_are_not_edits()
{
    panel_t p;
    QSignalSpy spy(p.controller.get(), &ui_controller::on_data_changed);
    p.controller->set_loading_data(true);
    QVERIFY(p.controller->get_loading_data());
    for (const widget_type_e type :
         {kq::gui::checkbox, kq::gui::lineedit, kq::gui::spinbox, kq::gui::doublespinbox,
          kq::gui::combobox, kq::gui::datetimeedit})
        edit(p, type);
    QVERIFY(!p.controller->has_changed_parameters());
    QCOMPARE(spy.count(), 0);
    for (const widget_type_e type : {kq::gui::checkbox, kq::gui::spinbox, kq::gui::combobox})
        QVERIFY(!p.underlined(type));
}

void tst_ui_controller::same_field_twice_is_one_entry_two_signals()
{
    panel_t p;
    QSignalSpy spy(p.controller.get(), &ui_controller::on_data_changed);
    edit(p, kq::gui::spinbox);
    edit(p, kq::gui::spinbox);
    QCOMPARE(p.controller->changed_parameters(), QVector<uint32_t>{panel_t::id(kq::gui::spinbox)});
    QCOMPARE(spy.count(), 2);
}

void tst_ui_controller::edits_are_collected_in_order_of_first_edit()
{
    panel_t p;
    edit(p, kq::gui::combobox);
    edit(p, kq::gui::checkbox);
    edit(p, kq::gui::combobox);
    edit(p, kq::gui::lineedit);

    QVector<QPair<uint32_t, QVariant>> out;
    p.controller->collect_changed_params(out);
    QCOMPARE(out.size(), 3);
    QCOMPARE(out.at(0).first, panel_t::id(kq::gui::combobox));
    QCOMPARE(out.at(1).first, panel_t::id(kq::gui::checkbox));
    QCOMPARE(out.at(2).first, panel_t::id(kq::gui::lineedit));
}

void tst_ui_controller::discard_restores_saved_values()
{
    panel_t p;
    p.controller->set_loading_data(true);
    p.controller->set_data(panel_t::id(kq::gui::spinbox), 30);
    p.controller->set_data(panel_t::id(kq::gui::lineedit), QStringLiteral("CQ"));
    p.controller->set_loading_data(false);
    QSignalSpy spy(p.controller.get(), &ui_controller::on_data_changed);

    edit(p, kq::gui::spinbox);
    edit(p, kq::gui::lineedit);
    QCOMPARE(spy.count(), 2);
    p.controller->discard_changes({{panel_t::id(kq::gui::spinbox), 30},
                                   {panel_t::id(kq::gui::lineedit), QStringLiteral("CQ")}});
    QCOMPARE(p.spin.value(), 30);
    QCOMPARE(p.line.text(), QStringLiteral("CQ"));
    QCOMPARE(spy.count(), 2); // restoring is not an edit
    QVERIFY(!p.controller->has_changed_parameters());
    QVERIFY(!p.controller->get_loading_data());
    QVERIFY(!p.underlined(kq::gui::spinbox));
    QVERIFY(!p.underlined(kq::gui::lineedit));
}

void tst_ui_controller::discard_without_saved_value_keeps_the_edit()
{
    panel_t p;
    edit(p, kq::gui::lineedit);
    QVERIFY(p.underlined(kq::gui::lineedit));
    p.controller->discard_changes({});
    QCOMPARE(p.line.text(), QStringLiteral("7"));
    QVERIFY(!p.underlined(kq::gui::lineedit));
    QVERIFY(!p.controller->has_changed_parameters());
}

void tst_ui_controller::remove_changed_parameter()
{
    panel_t p;
    edit(p, kq::gui::checkbox);
    edit(p, kq::gui::spinbox);
    p.controller->remove_changed_parameter(panel_t::id(kq::gui::checkbox));
    p.controller->remove_changed_parameter(999);
    QCOMPARE(p.controller->changed_parameters(), QVector<uint32_t>{panel_t::id(kq::gui::spinbox)});
    p.controller->clear_changed_parameters();
    QVERIFY(!p.controller->has_changed_parameters());
}

void tst_ui_controller::combo_box_without_matching_data_selects_nothing()
{
    panel_t p;
    p.controller->set_data(panel_t::id(kq::gui::combobox), 2);
    QCOMPARE(p.combo.currentIndex(), 2);
    p.controller->set_data(panel_t::id(kq::gui::combobox), 7u);
    QCOMPARE(p.combo.currentIndex(), -1);
}

void tst_ui_controller::unknown_ids_are_ignored()
{
    panel_t p;
    p.controller->set_data(5, 1);
    p.controller->set_hint_for_error(5, true, QStringLiteral("x"));
    p.controller->set_hint_for_changed_value(5, true, QString());
    QVERIFY(!p.controller->has_changed_parameters());
}

void tst_ui_controller::invalid_types_are_refused()
{
    panel_t p;
    try {
        p.controller->set_data(panel_t::id(kq::gui::unmanaged), 1);
        QFAIL("unmanaged widget written");
    } catch (const std::runtime_error& e) {
        QCOMPARE(QString::fromLatin1(e.what()), QStringLiteral("invalid parameter"));
    }

    QWidget w;
    const ui_controller::param_table_t bad_type{{1, {static_cast<widget_type_e>(9), &w}}};
    QVERIFY_EXCEPTION_THROWN(ui_controller(&bad_type, nullptr), std::runtime_error);
    // A widget that is not of its declared class is refused, not cast.
    const ui_controller::param_table_t bad_class{{1, {kq::gui::spinbox, &w}}};
    QVERIFY_EXCEPTION_THROWN(ui_controller(&bad_class, nullptr), std::runtime_error);
}

void tst_ui_controller::error_hint_and_clear_hints()
{
    panel_t p;
    QWidget* caption = p.caption(kq::gui::doublespinbox);
    p.controller->set_hint_for_error(panel_t::id(kq::gui::doublespinbox), true,
                                     QStringLiteral("out of range"));
    QCOMPARE(caption->styleSheet(), QStringLiteral("background-color: red"));
    edit(p, kq::gui::doublespinbox);
    QVERIFY(p.underlined(kq::gui::doublespinbox));

    p.controller->set_hint_for_error(panel_t::id(kq::gui::doublespinbox), false, QString());
    QCOMPARE(caption->styleSheet(), QString());

    p.controller->set_hint_for_error(panel_t::id(kq::gui::checkbox), true, QString());
    edit(p, kq::gui::lineedit);
    p.controller->clear_hints();
    for (QWidget* c : qAsConst(p.hints)) {
        QCOMPARE(c->styleSheet(), QString());
        QVERIFY(!c->font().underline());
    }
    // Hints are marks only: the edits are still there to be written.
    QCOMPARE(p.controller->changed_parameters().size(), 2);
}

void tst_ui_controller::no_hint_table_means_no_hints()
{
    QSpinBox spin;
    QLabel caption;
    const ui_controller::param_table_t params{{7, {kq::gui::spinbox, &spin}}};
    ui_controller controller(&params, nullptr);
    spin.setValue(3);
    QCOMPARE(controller.changed_parameters(), QVector<uint32_t>{7});
    controller.set_hint_for_error(7, true, QStringLiteral("x"));
    controller.clear_hints();
    QVERIFY(!caption.font().underline());
}

KQ_GUI_TEST_MAIN(tst_ui_controller)
#include "tst_ui_controller.moc"
