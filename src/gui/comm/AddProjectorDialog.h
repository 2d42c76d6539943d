#pragma once
// ADDPROJECTORBOX, "Add projector": the connected projectors, several of them to choose.
#include <QDialog>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class QListWidget;

namespace ombrix::gui {

class AddProjectorDialog : public QDialog {
    Q_OBJECT
public:
    AddProjectorDialog(const std::vector<std::pair<uint8_t, std::string>>& projectors, QWidget* parent = nullptr);

    QListWidget* List() const { return list_; }
    // The addresses chosen, in list order.
    std::vector<uint8_t> Chosen() const;

private:
    QListWidget* list_ = nullptr;
};

}  // namespace ombrix::gui
