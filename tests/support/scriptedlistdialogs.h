#pragma once
// Answers the boss list dialogs of the window for a test: the files it names, the merge it
// accepts or declines. The report is shown in the real dialog, whose texts are kept.

#include "widgets/bosslisttransfer.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>

namespace zorvane::testing {

class ScriptedListDialogs final : public app::BossListDialogs {
public:
    QString file;
    bool accept = true;
    int reports = 0;
    QString summary;
    QString details;
    bool importEnabled = false;
    QStringList told;

    QString exportFile(const QString&) override { return file; }
    QString importFile() override { return file; }
    bool acceptMerge(const config::MergeReport& report, const QString& origin) override {
        ++reports;
        app::MergeReportDialog dialog(report, origin);
        dialog.show();
        summary = dialog.summary()->text();
        details = dialog.details()->toPlainText();
        importEnabled = dialog.importButton()->isEnabled();
        return accept;
    }
    void tell(const QString& text) override { told << text; }
};

} // namespace zorvane::testing
