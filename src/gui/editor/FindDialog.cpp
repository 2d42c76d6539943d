#include "gui/editor/FindDialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace ombrix::gui {
namespace {

QString Plain(const QString& text) { return QString(text).remove(QLatin1Char('&')); }

QPushButton* Button(const QString& text, QVBoxLayout* column) {
    auto* button = new QPushButton(text);
    button->setAccessibleName(Plain(text));
    button->setAutoDefault(false);
    column->addWidget(button);
    return button;
}

QLineEdit* Field(const QString& label, const QString& text, QGridLayout* grid, int row) {
    auto* edit = new QLineEdit(text);
    edit->setMaxLength(static_cast<int>(kFindStringSize) - 1);
    edit->setAccessibleName(Plain(label).chopped(1));
    auto* caption = new QLabel(label);
    caption->setBuddy(edit);
    grid->addWidget(caption, row, 0);
    grid->addWidget(edit, row, 1);
    return edit;
}

}  // namespace

FindDialog::FindDialog(bool replace, const QString& find, const QString& replacement, const SearchFlags& flags,
                       QWidget* parent)
    : QDialog(parent), replace_(replace) {
    setWindowTitle(replace ? QStringLiteral("Replace") : QStringLiteral("Find"));
    setAccessibleName(windowTitle());
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);

    auto* fields = new QGridLayout;
    find_ = Field(QStringLiteral("Fi&nd what:"), find, fields, 0);
    if (replace) replacement_ = Field(QStringLiteral("Re&place with:"), replacement, fields, 1);

    auto* left = new QVBoxLayout;
    left->addLayout(fields);
    auto* switches = new QHBoxLayout;
    auto* checks = new QVBoxLayout;
    wholeWord_ = new QCheckBox(QStringLiteral("Match &whole word only"));
    matchCase_ = new QCheckBox(QStringLiteral("Match &case"));
    for (QCheckBox* box : {wholeWord_, matchCase_}) {
        box->setAccessibleName(Plain(box->text()));
        checks->addWidget(box);
    }
    wholeWord_->setChecked(flags.wholeWord);
    matchCase_->setChecked(flags.matchCase);
    switches->addLayout(checks);
    // Replace always works downwards, so only Find offers a direction.
    if (!replace) {
        auto* direction = new QGroupBox(QStringLiteral("Direction"));
        direction->setAccessibleName(direction->title());
        auto* row = new QHBoxLayout(direction);
        auto* up = new QRadioButton(QStringLiteral("&Up"));
        down_ = new QRadioButton(QStringLiteral("&Down"));
        for (QRadioButton* r : {up, down_}) {
            r->setAccessibleName(Plain(r->text()));
            row->addWidget(r);
        }
        (flags.down ? down_ : up)->setChecked(true);
        switches->addWidget(direction);
    }
    left->addLayout(switches);
    left->addStretch();

    auto* buttons = new QVBoxLayout;
    QPushButton* next = Button(QStringLiteral("&Find Next"), buttons);
    next->setDefault(true);
    connect(next, &QPushButton::clicked, this, &FindDialog::findNext);
    if (replace) {
        connect(Button(QStringLiteral("&Replace"), buttons), &QPushButton::clicked, this, &FindDialog::replaceOne);
        connect(Button(QStringLiteral("Replace &All"), buttons), &QPushButton::clicked, this,
                &FindDialog::replaceAll);
    }
    connect(Button(QStringLiteral("Cancel"), buttons), &QPushButton::clicked, this, &QDialog::close);
    buttons->addStretch();

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(buttons);
    auto enable = [this, next] { next->setEnabled(!find_->text().isEmpty()); };
    connect(find_, &QLineEdit::textChanged, this, enable);
    enable();
}

QString FindDialog::FindText() const { return find_->text(); }

QString FindDialog::ReplaceText() const { return replacement_ ? replacement_->text() : QString(); }

SearchFlags FindDialog::Flags() const {
    SearchFlags f;
    f.down = down_ ? down_->isChecked() : true;
    f.matchCase = matchCase_->isChecked();
    f.wholeWord = wholeWord_->isChecked();
    return f;
}

}  // namespace ombrix::gui
