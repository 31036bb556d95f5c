#include "panelkit/widget_profile_controller.h"
#include "test_environment.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QSpinBox>

using namespace kq::gui;

Q_DECLARE_METATYPE(value_policy_e)

namespace {

using items_t = QVector<QPair<QString, QVariant>>;

const items_t narrow_items{{QStringLiteral("9600"), 0u}, {QStringLiteral("19200"), 1u}};
const items_t wide_items{{QStringLiteral("1200"), 7u},
                         {QStringLiteral("9600"), 0u},
                         {QStringLiteral("19200"), 1u},
                         {QStringLiteral("115200"), 2u}};

QStringList texts(const QComboBox& combo)
{
    QStringList out;
    for (int i = 0; i < combo.count(); ++i)
        out << combo.itemText(i);
    return out;
}

} // namespace

// Switching sets of widget constraints at once.
class tst_widget_profile_controller : public QObject
{
    Q_OBJECT

private slots:
    void spin_box_keeps_value_clamped();
    void double_spin_box_policy_data();
    void double_spin_box_policy();
    void combo_box_keeps_selection_when_data_remains();
    void combo_box_falls_back_to_first_item();
    void empty_combo_box_profile_leaves_enabled_state();
    void label_text_and_enabled_state();
    void register_replaces_and_applies_in_order();
};

void tst_widget_profile_controller::spin_box_keeps_value_clamped()
{
    QSpinBox spin;
    spin.setRange(0, 1000);
    spin.setValue(800);
    widget_profile_controller c;
    c.register_profile(1, {{&spin, std::make_shared<widget_profile_spinbox_t>(false, 10, 500, 5)}});
    c.register_profile(2, {{&spin, std::make_shared<widget_profile_spinbox_t>(true, 0, 900, 1)}});

    c.set_active_profile(1);
    QCOMPARE(spin.minimum(), 10);
    QCOMPARE(spin.maximum(), 500);
    QCOMPARE(spin.singleStep(), 5);
    QCOMPARE(spin.value(), 500);
    QVERIFY(!spin.isEnabled());

    c.set_active_profile(2);
    QCOMPARE(spin.value(), 500); // the clamped value is the one remembered
    QVERIFY(spin.isEnabled());
}

void tst_widget_profile_controller::double_spin_box_policy_data()
{
    QTest::addColumn<value_policy_e>("policy");
    QTest::addColumn<double>("start");
    QTest::addColumn<double>("shown");

    QTest::newRow("keep, inside") << keep_value << 437.5 << 437.5;
    QTest::newRow("keep, clamped") << keep_value << 460.0 << 440.0;
    QTest::newRow("minimum") << set_minimum << 437.5 << 430.0;
    QTest::newRow("maximum") << set_maximum << 437.5 << 440.0;
}

void tst_widget_profile_controller::double_spin_box_policy()
{
    QFETCH(value_policy_e, policy);
    QFETCH(double, start);
    QFETCH(double, shown);
    QDoubleSpinBox box;
    box.setRange(0.0, 1000.0);
    box.setValue(start);
    widget_profile_controller c;
    c.register_profile(3, {{&box, std::make_shared<widget_profile_doublespinbox_t>(
                                      true, 430.0, 440.0, 0.025, 3, policy)}});
    c.set_active_profile(3);
    QCOMPARE(box.minimum(), 430.0);
    QCOMPARE(box.maximum(), 440.0);
    QCOMPARE(box.singleStep(), 0.025);
    QCOMPARE(box.decimals(), 3);
    QCOMPARE(box.value(), shown);
}

void tst_widget_profile_controller::combo_box_keeps_selection_when_data_remains()
{
    QComboBox combo;
    for (const auto& item : narrow_items)
        combo.addItem(item.first, item.second);
    combo.setCurrentIndex(1); // 19200, data 1
    widget_profile_controller c;
    c.register_profile(4,
                       {{&combo, std::make_shared<widget_profile_combobox_t>(true, wide_items)}});
    c.set_active_profile(4);
    QCOMPARE(texts(combo), (QStringList{"1200", "9600", "19200", "115200"}));
    QCOMPARE(combo.currentData(), QVariant(1u));
    QCOMPARE(combo.currentText(), QStringLiteral("19200"));
}

void tst_widget_profile_controller::combo_box_falls_back_to_first_item()
{
    QComboBox combo;
    for (const auto& item : wide_items)
        combo.addItem(item.first, item.second);
    combo.setCurrentIndex(3); // 115200, not in the narrow list
    widget_profile_controller c;
    c.register_profile(
        5, {{&combo, std::make_shared<widget_profile_combobox_t>(false, narrow_items)}});
    c.set_active_profile(5);
    QCOMPARE(texts(combo), (QStringList{"9600", "19200"}));
    QCOMPARE(combo.currentIndex(), 0);
    QVERIFY(!combo.isEnabled());
}

void tst_widget_profile_controller::empty_combo_box_profile_leaves_enabled_state()
{
    QComboBox combo;
    combo.addItem(QStringLiteral("9600"), 0u);
    widget_profile_controller c;
    c.register_profile(6,
                       {{&combo, std::make_shared<widget_profile_combobox_t>(false, items_t{})}});
    c.set_active_profile(6);
    QCOMPARE(combo.count(), 0);
    QVERIFY(combo.isEnabled());
}

void tst_widget_profile_controller::label_text_and_enabled_state()
{
    QLabel label(QStringLiteral("Frequency"));
    widget_profile_controller c;
    c.register_profile(
        7, {{&label, std::make_shared<widget_profile_label_t>(false, "Frequency, MHz")}});
    c.set_active_profile(7);
    QCOMPARE(label.text(), QStringLiteral("Frequency, MHz"));
    QVERIFY(!label.isEnabled());
}

void tst_widget_profile_controller::register_replaces_and_applies_in_order()
{
    QLabel label;
    QSpinBox spin;
    widget_profile_controller c;
    c.register_profile(8, {{&label, std::make_shared<widget_profile_label_t>(true, "old")}});
    c.register_profile(8, {{&label, std::make_shared<widget_profile_label_t>(true, "first")},
                           {&spin, std::make_shared<widget_profile_spinbox_t>(true, 1, 9, 1)},
                           {&label, std::make_shared<widget_profile_label_t>(true, "last")}});
    c.set_active_profile(8);
    QCOMPARE(label.text(), QStringLiteral("last"));
    QCOMPARE(spin.maximum(), 9);
}

KQ_GUI_TEST_MAIN(tst_widget_profile_controller)
#include "tst_widget_profile_controller.moc"
