#include "ui/settings/SettingControls.h"

#include "store/Settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QSignalBlocker>
#include <QSpinBox>

#include <algorithm>

namespace {

// Runs `load` now and whenever the key changes, while `control` exists.
template<typename Load>
void follow(QWidget *control, const QString &key, Load load)
{
    load();
    QObject::connect(&Settings::shared(), &Settings::changed, control, [key, load](const QString &changed) {
        if (changed == key)
            load();
    });
}

}

QSpinBox *SettingControls::stepper(const QString &key, int minimum, int maximum, int step, const QString &prefix,
                                   const QString &suffix, const QString &help, QWidget *parent)
{
    auto *box = new QSpinBox(parent);
    box->setObjectName(key);
    box->setRange(minimum, maximum);
    box->setSingleStep(step);
    box->setPrefix(prefix);
    box->setSuffix(suffix);
    box->setToolTip(help);
    // Typed digits are stored once the entry is done, not one keystroke at a time.
    box->setKeyboardTracking(false);
    follow(box, key, [box, key] {
        const QSignalBlocker blocker(box);
        box->setValue(int(std::clamp<qint64>(Settings::shared().integer(key), box->minimum(), box->maximum())));
    });
    QObject::connect(box, &QSpinBox::valueChanged, box, [key](int value) { Settings::shared().setValue(key, value); });
    return box;
}

QCheckBox *SettingControls::toggle(const QString &key, const QString &text, QWidget *parent)
{
    auto *box = new QCheckBox(text, parent);
    box->setObjectName(key);
    follow(box, key, [box, key] {
        const QSignalBlocker blocker(box);
        box->setChecked(Settings::shared().boolean(key));
    });
    QObject::connect(box, &QCheckBox::toggled, box, [key](bool on) { Settings::shared().setValue(key, on); });
    return box;
}

void SettingControls::bindPicker(QComboBox *picker, const QString &key, std::function<QVariant()> read)
{
    picker->setObjectName(key);
    follow(picker, key, [picker, read = std::move(read)] {
        const QSignalBlocker blocker(picker);
        picker->setCurrentIndex(picker->findData(read()));
    });
    QObject::connect(picker, &QComboBox::currentIndexChanged, picker, [picker, key](int index) {
        if (index >= 0)
            Settings::shared().setValue(key, picker->itemData(index));
    });
}
