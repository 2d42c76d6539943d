#pragma once
// Explore RAMfiles: the control pane RAMLISTBOX above the listing of a settings file's
// rows or of one block's parameters. Files are browsed in the view's own RAM container.
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "core/explorer/Explorer.h"

class QCheckBox;
class QPushButton;
class QTableView;

namespace ombrix::gui {

class ListTableModel;

class RamFilesView : public QWidget {
    Q_OBJECT
public:
    // directory: where the description files are. switches: the listing's column
    // switches, kept beyond this view; the view keeps its own when given none.
    RamFilesView(const Env& env, std::string directory, QWidget* parent = nullptr,
                 std::shared_ptr<ParameterColumnSwitches> keptSwitches = nullptr);
    ~RamFilesView() override;

    // The file dialogs ("Load RAMfile", "Converting Listview To Text"); tests put answers
    // of their own here. Each returns false when cancelled.
    std::function<bool(std::string* path)> pickSettingsFile;
    std::function<bool(std::string* path)> pickTextFile;

    const RamBrowser& Browser() const { return browser_; }
    QTableView* Listing() const { return listing_; }
    ListTableModel* ListingModel() const { return model_; }
    QWidget* ControlPane() const { return controls_; }

    // The buttons of the control pane.
    void OpenOrReturn();
    void ViewSelectedBlock();
    void ConvertToText();
    void ToggleColumn(int controlId, bool on);

signals:
    // The listing title changed (the file's name).
    void titleChanged(const QString& title);

private:
    void ShowRows();
    void ShowParameters(const ParameterListing& listing);
    int FirstSelectedRow() const;

    Env env_;
    std::string directory_;
    RamBrowser browser_;
    std::shared_ptr<ParameterColumnSwitches> kept_;
    QString title_;
    QWidget* controls_ = nullptr;
    QPushButton* open_ = nullptr;
    QPushButton* view_ = nullptr;
    QPushButton* convert_ = nullptr;
    QTableView* listing_ = nullptr;
    ListTableModel* model_ = nullptr;
};

}  // namespace ombrix::gui
