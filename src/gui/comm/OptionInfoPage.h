#pragma once
// The installed-options page (OPTIONINFO): seven lines of what the record says.
#include <QWidget>
#include <array>
#include <string>

class QLabel;

namespace ombrix::gui {

class OptionInfoPage : public QWidget {
    Q_OBJECT
public:
    OptionInfoPage(const std::array<std::string, 7>& lines, QWidget* parent = nullptr);
};

}  // namespace ombrix::gui
