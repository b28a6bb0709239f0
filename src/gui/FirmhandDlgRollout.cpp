// The main window's side of the rollout options (CRolloutPanel): the dialogs
// they ask for, "Retry failed" after a batch with failures, and the offer to
// resume a run that did not finish.
#include <QFileDialog>
#include <QInputDialog>
#include <set>

#include "FirmhandDlg.h"
#include "app/Logger.h"
#include "app/StringTable.h"
#include "session/FirmhandSession.h"
#include "session/SessionTypes.h"

FH_LOG_SOURCE("FirmhandDlg");

namespace {

QString RolloutText(int id) {
    return QString::fromStdString(LoadString(id));
}

}  // namespace

bool CFirmhandDlg::ChooseModelPackage(std::string& model, QString& path) {
    // The models of the listed cameras, each once, in list order.
    QStringList models;
    std::set<std::string> seen;
    for (int row = 0; row < DeviceList().RowCount(); ++row) {
        const std::string text(FieldText(DeviceList().Record(row)->productModel));
        if (!text.empty() && seen.insert(text).second) {
            models << QString::fromStdString(text);
        }
    }
    bool ok = false;
    const QString chosen =
        QInputDialog::getItem(this, RolloutText(IDS_ADD_MODEL_PACKAGE),
                              RolloutText(IDS_CHOOSE_MODEL), models, 0, true, &ok);
    if (!ok || chosen.trimmed().isEmpty()) {
        return false;
    }
    path = ChooseUpgradeFile();
    model = chosen.trimmed().toStdString();
    return !path.isEmpty();
}

void CFirmhandDlg::OnAddModelPackage() {
    std::string model;
    QString path;
    if (ChooseModelPackage(model, path)) {
        m_rolloutPanel->AddModelPackage(model, path);
    }
}

QString CFirmhandDlg::ChooseCredentialsFile() {
    return QFileDialog::getOpenFileName(this, RolloutText(IDS_CREDENTIALS_FILE), QString(),
                                        RolloutText(IDS_CREDENTIALS_FILTER));
}

void CFirmhandDlg::OnBrowseCredentials() {
    const QString chosen = ChooseCredentialsFile();
    if (!chosen.isEmpty()) {
        m_rolloutPanel->SetCredentialsFile(chosen);
    }
}

void CFirmhandDlg::OnRetryFailed() {
    if (m_upgrading) {
        return;
    }
    std::vector<int> rows;
    for (const CameraOutcome& outcome : m_outcomes.Outcomes()) {
        const int row = DeviceList().FindDeviceItem(outcome.mac);
        if (row >= 0 && (!outcome.code || IsFailedResult(*outcome.code))) {
            rows.push_back(row);
        }
    }
    if (rows.empty()) {
        return;
    }
    m_list->OnClearAll();
    for (int row : rows) {
        DeviceList().SetChecked(row, true);
    }
    StartBatchOf(rows);
}

bool CFirmhandDlg::OfferResume() {
    if (!m_session || m_upgrading) {
        return false;
    }
    std::string problem;
    const std::optional<RunSummary> run = m_session->UnfinishedRun(&problem);
    if (!run) {
        if (!problem.empty()) {
            LOG_WARN("CFirmhandDlg::OfferResume", "the last run is unreadable: %s",
                     problem.c_str());
        }
        return false;
    }
    if (run->running) {
        // Another process drives it: offering it would race that process.
        LOG_INFO("CFirmhandDlg::OfferResume", "run %s is going on in another process",
                 run->id.c_str());
        return false;
    }
    // What Cancel does is said beside the question: the run stays, and is
    // offered again until another batch is started.
    m_messageDetail = QString::asprintf(LoadString(IDS_RESUME_RUN_DETAIL).c_str(), run->id.c_str(),
                                        static_cast<int>(run->cameras.size()), run->Upgraded(),
                                        run->Skipped(), run->Failed(), run->Open()) +
                      QStringLiteral("\n\n") + RolloutText(IDS_RESUME_CANCEL_MEANS);
    const bool resume = ShowMessage(IDS_RESUME_RUN, true);
    m_messageDetail.clear();
    if (!resume) {
        return false;
    }
    BatchRequest request;
    request.resumeRun = run->path;
    request.devices = m_session->ResumeDevices(*run);
    request.packages = run->packages;
    LOG_INFO("CFirmhandDlg::OfferResume", "resuming run %s", run->id.c_str());
    return StartRequest(request);
}
