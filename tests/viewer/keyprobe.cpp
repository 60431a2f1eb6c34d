// The Qt side of the key probe.
#include "keyprobe.h"
#include "qtbridge.h"

#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

#include <stdexcept>

namespace keyprobe {

namespace {

QLineEdit* EditorOf(TSpinEdit* spin)
{
    auto* editor = spin->impl().widget->findChild<QLineEdit*>();
    if (!editor)
        throw std::runtime_error("the spin field has no editor");
    return editor;
}

} // namespace

void SelectAll(TSpinEdit* spin) { EditorOf(spin)->selectAll(); }

void Type(TSpinEdit* spin, const std::string& keys)
{
    // Sent to the spin field itself, which filters the keys before its editor sees them.
    for (char c : keys)
        QTest::keyClick(spin->impl().widget, c);
}

void Press(TSpinEdit* spin, Key key)
{
    const Qt::Key keys[] = {Qt::Key_Backspace, Qt::Key_Up, Qt::Key_Down};
    QTest::keyClick(spin->impl().widget, keys[static_cast<int>(key)]);
}

void ChooseItem(TRadioGroup* group, int index)
{
    const auto radios = group->impl().widget->findChildren<QRadioButton*>();
    if (index < 0 || index >= radios.size())
        throw std::out_of_range("no such radio item");
    QTest::mouseClick(radios[index], Qt::LeftButton);
}

} // namespace keyprobe
