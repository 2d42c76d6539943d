#include "gui/comm/ProjectorInfoPage.h"

#include <QGridLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTimer>
#include "gui/platform/Accessible.h"

namespace ombrix::gui {

ProjectorInfoPage::ProjectorInfoPage(std::function<void(ProjectorInfoPage*)> fill, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("PROJINFOBOX"));
    setAccessibleName(QStringLiteral("Projector Info"));
    setStyleSheet(QStringLiteral("QLabel { color: white; }"));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(10, 10, 16, 10);
    const char* labels[] = {"Type            :", "SoftVersion  :", "Serial Nr.      :",
                            "Address       :",   "Status         :", "Runtime       :"};
    const char* names[] = {"type", "version", "serial", "address", "status", "runtime"};
    for (int i = 0; i < 6; ++i) {
        auto* label = new QLabel(QString::fromLatin1(labels[i]), this);
        values_[i] = new LiveLabel(QString::fromLatin1(labels[i]).remove(QLatin1Char(':')).trimmed(), QString(), this);
        values_[i]->setObjectName(QString::fromLatin1(names[i]));
        values_[i]->setTextInteractionFlags(Qt::TextSelectableByMouse);
        label->setBuddy(values_[i]);
        grid->addWidget(label, i, 0);
        grid->addWidget(values_[i], i, 1);
    }
    text_ = new QPlainTextEdit(this);
    text_->setObjectName(QStringLiteral("infoText"));
    text_->setAccessibleName(QStringLiteral("Projector text"));
    text_->setReadOnly(true);
    text_->setMaximumHeight(80);
    grid->addWidget(text_, 6, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(7, 1);

    auto* timer = new QTimer(this);
    timer->setObjectName(QStringLiteral("fillTimer"));
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, this, [this, timer, fill = std::move(fill)] {
        timer->stop();
        if (fill) fill(this);
    });
    timer->start(10);
}

void ProjectorInfoPage::Show(const ProjectorInfoLines& l) {
    const std::string* texts[] = {&l.type, &l.version, &l.serial, &l.address, &l.status, &l.runtime};
    for (int i = 0; i < 6; ++i) ShowLiveText(values_[i], QString::fromStdString(*texts[i]).trimmed());
    text_->setPlainText(QString::fromStdString(l.text.substr(0, kInfoTextLimit)));
    emit filled();
}

}  // namespace ombrix::gui
