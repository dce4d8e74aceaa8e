#pragma once

#include <QString>
#include <QVariant>

#include <functional>

class QCheckBox;
class QComboBox;
class QSpinBox;
class QWidget;

// Controls bound to one setting each, named after its key. A control shows the stored value
// (clamped to what it can show) and follows later changes of the setting; it writes only
// when the user changes it, so opening the settings never rewrites a stored value.
namespace SettingControls {

// An integer stepper labelled "<prefix><value><suffix>", with the help text as its tooltip.
// The spin box's own bounds give a press beyond a bound that bound.
QSpinBox *stepper(const QString &key, int minimum, int maximum, int step, const QString &prefix,
                  const QString &suffix = {}, const QString &help = {}, QWidget *parent = nullptr);

QCheckBox *toggle(const QString &key, const QString &text, QWidget *parent = nullptr);

// Binds a picker whose rows carry the stored values as item data; `read` gives the value to
// show. A value no row carries shows no row.
void bindPicker(QComboBox *picker, const QString &key, std::function<QVariant()> read);

}
