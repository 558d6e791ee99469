// The search window "メール検索": a text, where to look (subject, sender,
// date, body; all at first), which boxes (all eight or one), and the mails
// found, listed with their box. Enter or a double click on a found mail opens
// the viewer on its box with that mail shown and selected.
//
// The search itself is the core's (store/MailSearch.h); it runs on a thread
// of its own, so the window stays usable, shows its progress and can be
// stopped. Closing the window stops it too.
#pragma once

#include <QWidget>
#include <atomic>
#include <cstdint>
#include <thread>

#include "store/MailSearch.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTreeView;

namespace qf::ui {
class WindowEnvironment;
}

namespace qf::viewer {

class SearchHitModel;

class SearchWindow : public QWidget {
    Q_OBJECT

  public:
    explicit SearchWindow(ui::WindowEnvironment& env);
    ~SearchWindow() override;

    // "検索": starts a search with what the controls say (a search that
    // still runs is stopped first).
    void startSearch();
    // "中止": the running search stops; what it found so far is listed.
    void stopSearch();
    bool searching() const { return m_worker.joinable(); }
    // Opens the found mail of row `row` in the viewer.
    void openHit(int row);
    // Lists a finished search's result; the search thread hands it over so.
    void showResult(Result<store::SearchResult> result);

  private:
    // Tests find the controls by object name (queryText, searchButton, …).
    QLineEdit* m_query = nullptr;
    QPushButton* m_searchButton = nullptr;
    QPushButton* m_stopButton = nullptr;
    QCheckBox* m_inSubject = nullptr;
    QCheckBox* m_inSender = nullptr;
    QCheckBox* m_inDate = nullptr;
    QCheckBox* m_inBody = nullptr;
    QCheckBox* m_sameKana = nullptr;
    QCheckBox* m_exact = nullptr;
    QComboBox* m_boxChoice = nullptr;
    QProgressBar* m_progressBar = nullptr;
    QLabel* m_status = nullptr;
    QLabel* m_problems = nullptr;
    QTreeView* m_resultList = nullptr;

    void createControls();
    void fillBoxChoice();
    store::SearchQuery queryFromControls() const;
    void showProgress(const store::SearchProgress& progress);
    QString problemSentence(const store::SearchProblem& problem) const;
    QString captionOf(int box) const;
    void finishWorker();
    void setSearching(bool running);

    ui::WindowEnvironment& m_env;
    SearchHitModel* m_model = nullptr;
    std::thread m_worker;
    std::atomic<bool> m_cancel{false};
    std::uint64_t m_searchNumber = 0;  // of the search whose results are awaited
};

}  // namespace qf::viewer
