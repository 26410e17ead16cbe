// The choice of the user whose rights are copied: a searchable list of every other user. Enter or a
// double-click takes the selected user; Esc (with the search box empty) cancels.
#pragma once

#include <QDialog>

#include <optional>
#include <vector>

class QDialogButtonBox;
class QLabel;
class QListWidget;
class QPushButton;
class TSearchEdit;

class TfmCopyRights : public QDialog {
    Q_OBJECT
public:
    struct TCandidate {
        int TabNum = 0;
        QString AllName, Name;
    };

    TfmCopyRights(const QString& targetName, const std::vector<TCandidate>& candidates,
                  QWidget* owner = nullptr);

    // The user chosen, after the dialog was accepted.
    std::optional<int> Chosen() const;

    QLabel* Label1;
    TSearchEdit* edSearch;
    QListWidget* lbUsers;
    QDialogButtonBox* Buttons;
    QPushButton* OKBtn;

    // Asks; nullopt when cancelled.
    static std::optional<int> Choose(QWidget* owner, const QString& targetName,
                                     const std::vector<TCandidate>& candidates);

private:
    void ApplySearch();
    void UpdateButtons();
};
