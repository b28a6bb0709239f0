// The rollout options, folded under their title below the upgrade file:
// packages per model beside the upgrade file, a credentials file, "Force",
// a failure limit, "Canary first" with its count per model, the time to wait for
// cameras not found, and "Retry failed". The panel owns
// these controls and what they add to a batch request; the window opens the dialogs they ask for
// (so that a test stands those in) and starts the batches.
#pragma once

#include <QString>
#include <map>
#include <string>
#include <vector>

#include "CollapsiblePanel.h"
#include "session/SessionTypes.h"

class QCheckBox;
class QLayout;
class QLineEdit;
class QSpinBox;
class QTreeWidget;
struct BatchRequest;

class CRolloutPanel : public CCollapsiblePanel {
    Q_OBJECT

public:
    explicit CRolloutPanel(QWidget* parent);

    // The panel's controls by id (WindowControls.h), for the window's list.
    const std::map<int, QWidget*>& Controls() const { return m_controls; }
    // Every text in the current language.
    void LoadTexts();

    // The packages of given models beside the upgrade file, in list order.
    std::vector<BatchPackage> ModelPackages() const;
    void AddModelPackage(const std::string& model, const QString& path);
    void SetCredentialsFile(const QString& path);
    // "Wait for missing" as typed ("" none), for ParseWaitDuration.
    QString WaitForMissing() const;
    void SetWaitForMissing(const QString& text);
    // The options' part of a request (packages of the chosen cameras'
    // models, credentials file, force, failure limit, canaries per model).
    void FillRequest(BatchRequest& request) const;
    // Locked while a batch runs; "Retry failed" only when `retryOffered`.
    void SetBatchControlsEnabled(bool enabled, bool retryOffered);

signals:
    // "Add model package...", the credentials file's Browse, "Retry failed".
    void AddModelPackageClicked();
    void BrowseCredentialsClicked();
    void RetryFailedClicked();

private:
    QWidget* BuildControls();
    // "Wait for missing" and its label.
    QLayout* BuildWaitForMissing(QWidget* holder);
    QWidget* AddControl(int id, QWidget* widget);
    void OnRemovePackage();

    std::map<int, QWidget*> m_controls;
    QTreeWidget* m_packageList = nullptr;
    QLineEdit* m_credentialsEdit = nullptr;
    QCheckBox* m_force = nullptr;
    QCheckBox* m_canary = nullptr;
    QSpinBox* m_canaryCount = nullptr;
    QSpinBox* m_maxFailures = nullptr;
    QLineEdit* m_waitForMissing = nullptr;
    bool m_locked = false;
};
