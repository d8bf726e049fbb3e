#include "ui/RadioGroup.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QGridLayout>
#include <QRadioButton>
#include <algorithm>

namespace quillon {

TRadioGroup::TRadioGroup(const QString& title, const QStringList& items, int columns,
                         QWidget* parent)
    : QGroupBox(title, parent), Buttons(new QButtonGroup(this)) {
    auto* layout = new QGridLayout(this);
    columns = std::max(columns, 1);
    // Items fill the columns one after the other, top to bottom.
    const int rows = (static_cast<int>(items.size()) + columns - 1) / columns;
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i], this);
        Buttons->addButton(button, i);
        layout->addWidget(button, i % std::max(rows, 1), i / std::max(rows, 1));
    }
    connect(Buttons, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked) {
            emit ItemIndexChanged(id);
        }
    });
}

int TRadioGroup::ItemIndex() const {
    return Buttons->checkedId();
}

int TRadioGroup::Count() const {
    return static_cast<int>(Buttons->buttons().size());
}

void TRadioGroup::SetItemIndex(int index) {
    index = std::max(std::min(index, Count() - 1), -1);
    if (index == ItemIndex()) {
        return;
    }
    if (index >= 0) {
        Buttons->button(index)->setChecked(true);
        return;
    }
    // An exclusive group refuses to uncheck its last checked button.
    Buttons->setExclusive(false);
    Buttons->checkedButton()->setChecked(false);
    Buttons->setExclusive(true);
    emit ItemIndexChanged(-1);
}

}  // namespace quillon
