#pragma once
// The General panel ("FORCEDIALOG"): power, pause and text toggles with their status,
// the View/Compare mode, and the list of input sources.
#include <QWidget>
#include <array>
#include <functional>

#include "core/app/Program.h"

class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace ombrix::gui {

class InfoStrip;

class ForcePanel : public QWidget {
    Q_OBJECT
public:
    // changed: a projector's record changed (woken, identified).
    ForcePanel(ProgramState& state, InfoStrip* strip, std::function<void(uint8_t)> changed, QWidget* parent = nullptr);

    QPushButton* ForceButton(int which) const { return force_[static_cast<size_t>(which)]; }
    QLabel* StatusLine(int which) const { return status_[static_cast<size_t>(which)]; }
    QTreeWidget* SourceTree() const { return tree_; }

    void Add();
    void Delete();
    void Rename();
    void Select();

signals:
    void statusRefreshed();

private:
    void Refresh();
    void ShowStatus();
    void Toggle(int which);
    void FillTree();
    void SetMode(int compareMode);
    void ShowActiveSource();
    QTreeWidgetItem* SelectedSource() const;

    ProgramState& state_;
    InfoStrip* strip_;
    std::function<void(uint8_t)> changed_;
    std::array<QPushButton*, 3> force_{};
    std::array<QLabel*, 3> status_{};
    QRadioButton* view_ = nullptr;
    QRadioButton* compare_ = nullptr;
    QTreeWidget* tree_ = nullptr;
    bool filling_ = false;
};

}  // namespace ombrix::gui
