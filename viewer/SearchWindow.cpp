#include "viewer/SearchWindow.h"

#include <QAbstractTableModel>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <memory>
#include <vector>

#include "text/FixedField.h"
#include "ui/MessageBoxes.h"
#include "ui/PlainText.h"
#include "ui/TextConversion.h"
#include "ui/WindowEnvironment.h"
#include "viewer/OriginalText.h"
#include "viewer/ViewerBoxes.h"

namespace qf::viewer {

namespace {

using ui::fromUtf8;

// The progress bar's range: bytes are counted in this many steps.
constexpr int kProgressSteps = 1000;

}  // namespace

// The found mails: box caption, subject, sender, date. Texts are converted
// only for the rows the list paints, so a long result shows at once.
class SearchHitModel : public QAbstractTableModel {
  public:
    using QAbstractTableModel::QAbstractTableModel;

    void reset(std::vector<store::SearchHit> hits, std::vector<QString> captions) {
        beginResetModel();
        m_hits = std::move(hits);
        m_captions = std::move(captions);
        endResetModel();
    }
    const store::SearchHit* hit(int row) const {
        return row >= 0 && row < rowCount() ? &m_hits[static_cast<std::size_t>(row)] : nullptr;
    }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_hits.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : 4;
    }

    QVariant data(const QModelIndex& index, int role) const override {
        const store::SearchHit* found = hit(index.row());
        if (found == nullptr || role != Qt::DisplayRole) {
            return {};
        }
        switch (index.column()) {
            case 0:
                return m_captions[static_cast<std::size_t>(index.row())];
            case 1:
                return fromUtf8(found->subject);
            case 2:
                return fromUtf8(found->fromOrTo);
            default:
                return fromUtf8(found->date);
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
            return {};
        }
        static const QString kHeadings[] = {QStringLiteral("メールボックス"),
                                            QStringLiteral("件名"), QStringLiteral("差出人"),
                                            QStringLiteral("日付")};
        return kHeadings[section];
    }

  private:
    std::vector<store::SearchHit> m_hits;
    std::vector<QString> m_captions;
};

SearchWindow::SearchWindow(ui::WindowEnvironment& env) : m_env(env) {
    setObjectName(QStringLiteral("KensakuForm"));
    setWindowTitle(QStringLiteral("メール検索"));
    createControls();
    fillBoxChoice();
    setSearching(false);
    resize(760, 520);
}

SearchWindow::~SearchWindow() {
    finishWorker();
}

void SearchWindow::createControls() {
    auto* page = new QVBoxLayout(this);

    auto* queryRow = new QHBoxLayout;
    auto* queryLabel = ui::plainLabel(QStringLiteral("検索文字"), this);
    m_query = new QLineEdit(this);
    m_query->setObjectName(QStringLiteral("queryText"));
    queryLabel->setBuddy(m_query);
    m_searchButton = new QPushButton(QStringLiteral("検索"), this);
    m_searchButton->setObjectName(QStringLiteral("searchButton"));
    m_stopButton = new QPushButton(QStringLiteral("中止"), this);
    m_stopButton->setObjectName(QStringLiteral("stopButton"));
    queryRow->addWidget(queryLabel);
    queryRow->addWidget(m_query, 1);
    queryRow->addWidget(m_searchButton);
    queryRow->addWidget(m_stopButton);
    page->addLayout(queryRow);

    auto* where = new QHBoxLayout;
    where->addWidget(ui::plainLabel(QStringLiteral("探す所:"), this));
    const auto check = [this, where](const char* name, const QString& caption) {
        auto* box = new QCheckBox(caption, this);
        box->setObjectName(QString::fromLatin1(name));
        box->setChecked(true);
        where->addWidget(box);
        return box;
    };
    m_inSubject = check("subjectCheck", QStringLiteral("件名"));
    m_inSender = check("senderCheck", QStringLiteral("差出人（宛先）"));
    m_inDate = check("dateCheck", QStringLiteral("日付"));
    m_inBody = check("bodyCheck", QStringLiteral("本文"));
    where->addStretch(1);
    where->addWidget(ui::plainLabel(QStringLiteral("メールボックス:"), this));
    m_boxChoice = new QComboBox(this);
    m_boxChoice->setObjectName(QStringLiteral("boxChoice"));
    where->addWidget(m_boxChoice);
    page->addLayout(where);

    auto* how = new QHBoxLayout;
    m_sameKana = new QCheckBox(QStringLiteral("ひらがなとカタカナを区別しない"), this);
    m_sameKana->setObjectName(QStringLiteral("sameKanaCheck"));
    m_exact = new QCheckBox(QStringLiteral("全角・半角、大文字・小文字を区別する"), this);
    m_exact->setObjectName(QStringLiteral("exactCheck"));
    how->addWidget(m_sameKana);
    how->addWidget(m_exact);
    how->addStretch(1);
    page->addLayout(how);

    m_progressBar = new QProgressBar(this);
    m_progressBar->setObjectName(QStringLiteral("progressBar"));
    m_progressBar->setRange(0, kProgressSteps);
    m_status = ui::plainLabel(QString(), this);
    m_status->setObjectName(QStringLiteral("statusText"));
    auto* state = new QHBoxLayout;
    state->addWidget(m_status, 1);
    state->addWidget(m_progressBar, 1);
    page->addLayout(state);
    m_problems = ui::plainLabel(QString(), this);
    m_problems->setObjectName(QStringLiteral("problemText"));
    m_problems->setStyleSheet(QStringLiteral("color: #b00000;"));
    m_problems->setWordWrap(true);
    m_problems->hide();
    page->addWidget(m_problems);

    m_model = new SearchHitModel(this);
    m_resultList = new QTreeView(this);
    m_resultList->setObjectName(QStringLiteral("resultList"));
    m_resultList->setModel(m_model);
    m_resultList->setRootIsDecorated(false);
    m_resultList->setUniformRowHeights(true);
    m_resultList->setAllColumnsShowFocus(true);
    m_resultList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_resultList->header()->setStretchLastSection(true);
    m_resultList->header()->resizeSection(0, 110);
    m_resultList->header()->resizeSection(1, 300);
    m_resultList->header()->resizeSection(2, 180);
    page->addWidget(m_resultList, 1);

    connect(m_searchButton, &QPushButton::clicked, this, &SearchWindow::startSearch);
    connect(m_query, &QLineEdit::returnPressed, this, &SearchWindow::startSearch);
    connect(m_stopButton, &QPushButton::clicked, this, &SearchWindow::stopSearch);
    // Enter, and a double click, activate a row.
    connect(m_resultList, &QTreeView::activated, this,
            [this](const QModelIndex& index) { openHit(index.row()); });
    // Exact bytes have no kana folding either.
    connect(m_exact, &QCheckBox::toggled, m_sameKana, &QWidget::setDisabled);
}

// "すべて" first, then the eight boxes in catalogue order.
void SearchWindow::fillBoxChoice() {
    m_boxChoice->addItem(QStringLiteral("すべて"), 0);
    for (const BoxEntry& box : boxCatalogue()) {
        m_boxChoice->addItem(captionOf(box.number), box.number);
    }
}

// A named box without a registered caption is called by its number.
QString SearchWindow::captionOf(int box) const {
    const BoxEntry* entry = findBox(box);
    const QString caption =
        entry != nullptr ? fromUtf8(boxCaption(*entry, m_env.held().registrations)) : QString();
    return caption.isEmpty() ? QStringLiteral("メールボックス%1").arg(box) : caption;
}

store::SearchQuery SearchWindow::queryFromControls() const {
    store::SearchQuery query;
    query.text = std::string(text::stripSpaces(m_query->text().toStdString()));
    query.fields = (m_inSubject->isChecked() ? store::kSearchSubject : 0u) |
                   (m_inSender->isChecked() ? store::kSearchFromOrTo : 0u) |
                   (m_inDate->isChecked() ? store::kSearchDate : 0u) |
                   (m_inBody->isChecked() ? store::kSearchBody : 0u);
    query.exact = m_exact->isChecked();
    query.sameKana = !query.exact && m_sameKana->isChecked();
    if (const int box = m_boxChoice->currentData().toInt(); box != 0) {
        query.boxes = {box};
    }
    return query;
}

void SearchWindow::startSearch() {
    finishWorker();
    const store::SearchQuery query = queryFromControls();
    if (query.text.empty()) {
        m_status->setText(ui::words(ui::Say::kSearchNoText, {}, QString()));
        return;
    }
    if (query.fields == 0) {
        m_status->setText(ui::words(ui::Say::kSearchNoPlace, {}, QString()));
        return;
    }
    m_model->reset({}, {});
    m_problems->hide();
    m_progressBar->setValue(0);
    m_status->setText(ui::words(ui::Say::kSearching, {}, QString()));
    setSearching(true);
    m_cancel = false;
    // What an earlier search still had on its way is dropped.
    const std::uint64_t search = ++m_searchNumber;
    const std::string dataFolder = m_env.folder().dataFolder().string();
    m_worker = std::thread([this, query, dataFolder, search] {
        store::SearchControl control;
        control.cancel = &m_cancel;
        control.decodeOriginal = searchedTextsOf;
        control.progress = [this, search](const store::SearchProgress& progress) {
            QMetaObject::invokeMethod(
                this,
                [this, progress, search] {
                    if (search == m_searchNumber) {
                        showProgress(progress);
                    }
                },
                Qt::QueuedConnection);
        };
        auto result = std::make_shared<Result<store::SearchResult>>(
            store::searchBoxes(dataFolder, query, control));
        QMetaObject::invokeMethod(
            this,
            [this, result, search] {
                if (search == m_searchNumber) {
                    showResult(std::move(*result));
                }
            },
            Qt::QueuedConnection);
    });
}

void SearchWindow::stopSearch() {
    m_cancel = true;
}

// Waits for the search thread, which stops after its current record.
void SearchWindow::finishWorker() {
    if (m_worker.joinable()) {
        m_cancel = true;
        m_worker.join();
    }
}

void SearchWindow::setSearching(bool running) {
    m_stopButton->setEnabled(running);
    m_progressBar->setVisible(running);
}

void SearchWindow::showProgress(const store::SearchProgress& progress) {
    if (!m_worker.joinable() || progress.bytesTotal == 0) {
        return;
    }
    m_progressBar->setValue(
        static_cast<int>(progress.bytesDone * kProgressSteps / progress.bytesTotal));
    m_status->setText(ui::words(ui::Say::kSearchingHits, {QString::number(progress.hits)}));
}

void SearchWindow::showResult(Result<store::SearchResult> result) {
    if (m_worker.joinable()) {
        m_worker.join();
    }
    setSearching(false);
    if (!result.isOk()) {
        m_status->setText(result.status().code() == StatusCode::kInvalidArgument
                              ? ui::words(ui::Say::kSearchTextNotStorable, {}, QString())
                              : ui::words(ui::Say::kSearchFailed, {}, result.status()));
        return;
    }
    store::SearchResult& found = result.value();
    std::vector<QString> captions;
    captions.reserve(found.hits.size());
    for (const store::SearchHit& hit : found.hits) {
        captions.push_back(captionOf(hit.box));
    }
    const auto count = static_cast<qsizetype>(found.hits.size());
    m_model->reset(std::move(found.hits), std::move(captions));
    m_status->setText(
        ui::words(found.cancelled ? ui::Say::kSearchStoppedHits : ui::Say::kSearchHits,
                  {QString::number(count)}));
    QStringList problems;
    for (const store::SearchProblem& problem : found.problems) {
        problems << problemSentence(problem);
    }
    m_problems->setText(problems.join(QLatin1Char('\n')));
    m_problems->setVisible(!problems.isEmpty());
    if (count > 0) {
        m_resultList->setCurrentIndex(m_model->index(0, 0));
    }
}

QString SearchWindow::problemSentence(const store::SearchProblem& problem) const {
    if (problem.unsearchedBytes != 0) {
        return ui::words(ui::Say::kSearchBoxTornEnd,
                         {captionOf(problem.box), QString::number(problem.unsearchedBytes)});
    }
    return ui::words(ui::Say::kSearchBoxNotReadToEnd, {captionOf(problem.box)},
                     fromUtf8(problem.outsideText));
}

// A delete since the search renumbers the box: then the row would open
// another mail, so the user is asked to search again instead.
void SearchWindow::openHit(int row) {
    const store::SearchHit* hit = m_model->hit(row);
    if (hit == nullptr) {
        return;
    }
    auto current = store::hitIsCurrent(m_env.folder().dataFolder().string(), *hit);
    if (!current.isOk() || !current.value()) {
        ui::tell(this, ui::Say::kSearchHitOutdated);
        return;
    }
    m_env.intents().showMailInViewer(hit->box, hit->recordNumber);
}

}  // namespace qf::viewer
