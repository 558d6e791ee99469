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
    setObjectName(QStringLiteral("SearchWindow"));
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
    queryText = new QLineEdit(this);
    queryText->setObjectName(QStringLiteral("queryText"));
    queryLabel->setBuddy(queryText);
    searchButton = new QPushButton(QStringLiteral("検索"), this);
    searchButton->setObjectName(QStringLiteral("searchButton"));
    stopButton = new QPushButton(QStringLiteral("中止"), this);
    stopButton->setObjectName(QStringLiteral("stopButton"));
    queryRow->addWidget(queryLabel);
    queryRow->addWidget(queryText, 1);
    queryRow->addWidget(searchButton);
    queryRow->addWidget(stopButton);
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
    subjectCheck = check("subjectCheck", QStringLiteral("件名"));
    senderCheck = check("senderCheck", QStringLiteral("差出人（宛先）"));
    dateCheck = check("dateCheck", QStringLiteral("日付"));
    bodyCheck = check("bodyCheck", QStringLiteral("本文"));
    where->addStretch(1);
    where->addWidget(ui::plainLabel(QStringLiteral("メールボックス:"), this));
    boxChoice = new QComboBox(this);
    boxChoice->setObjectName(QStringLiteral("boxChoice"));
    where->addWidget(boxChoice);
    page->addLayout(where);

    auto* how = new QHBoxLayout;
    sameKanaCheck = new QCheckBox(QStringLiteral("ひらがなとカタカナを区別しない"), this);
    sameKanaCheck->setObjectName(QStringLiteral("sameKanaCheck"));
    exactCheck = new QCheckBox(QStringLiteral("全角・半角、大文字・小文字を区別する"), this);
    exactCheck->setObjectName(QStringLiteral("exactCheck"));
    how->addWidget(sameKanaCheck);
    how->addWidget(exactCheck);
    how->addStretch(1);
    page->addLayout(how);

    progressBar = new QProgressBar(this);
    progressBar->setObjectName(QStringLiteral("progressBar"));
    progressBar->setRange(0, kProgressSteps);
    statusText = ui::plainLabel(QString(), this);
    statusText->setObjectName(QStringLiteral("statusText"));
    auto* state = new QHBoxLayout;
    state->addWidget(statusText, 1);
    state->addWidget(progressBar, 1);
    page->addLayout(state);
    problemText = ui::plainLabel(QString(), this);
    problemText->setObjectName(QStringLiteral("problemText"));
    problemText->setStyleSheet(QStringLiteral("color: #b00000;"));
    problemText->setWordWrap(true);
    problemText->hide();
    page->addWidget(problemText);

    m_model = new SearchHitModel(this);
    resultList = new QTreeView(this);
    resultList->setObjectName(QStringLiteral("resultList"));
    resultList->setModel(m_model);
    resultList->setRootIsDecorated(false);
    resultList->setUniformRowHeights(true);
    resultList->setAllColumnsShowFocus(true);
    resultList->setSelectionBehavior(QAbstractItemView::SelectRows);
    resultList->header()->setStretchLastSection(true);
    resultList->header()->resizeSection(0, 110);
    resultList->header()->resizeSection(1, 300);
    resultList->header()->resizeSection(2, 180);
    page->addWidget(resultList, 1);

    connect(searchButton, &QPushButton::clicked, this, &SearchWindow::startSearch);
    connect(queryText, &QLineEdit::returnPressed, this, &SearchWindow::startSearch);
    connect(stopButton, &QPushButton::clicked, this, &SearchWindow::stopSearch);
    // Enter, and a double click, activate a row.
    connect(resultList, &QTreeView::activated, this,
            [this](const QModelIndex& index) { openHit(index.row()); });
    // Exact bytes have no kana folding either.
    connect(exactCheck, &QCheckBox::toggled, sameKanaCheck, &QWidget::setDisabled);
}

// "すべて" first, then the eight boxes in catalogue order.
void SearchWindow::fillBoxChoice() {
    boxChoice->addItem(QStringLiteral("すべて"), 0);
    for (const BoxEntry& box : boxCatalogue()) {
        boxChoice->addItem(captionOf(box.number), box.number);
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
    query.text = std::string(text::stripSpaces(queryText->text().toStdString()));
    query.fields = (subjectCheck->isChecked() ? store::kSearchSubject : 0u) |
                   (senderCheck->isChecked() ? store::kSearchFromOrTo : 0u) |
                   (dateCheck->isChecked() ? store::kSearchDate : 0u) |
                   (bodyCheck->isChecked() ? store::kSearchBody : 0u);
    query.exact = exactCheck->isChecked();
    query.sameKana = !query.exact && sameKanaCheck->isChecked();
    if (const int box = boxChoice->currentData().toInt(); box != 0) {
        query.boxes = {box};
    }
    return query;
}

void SearchWindow::startSearch() {
    finishWorker();
    const store::SearchQuery query = queryFromControls();
    if (query.text.empty()) {
        statusText->setText(QStringLiteral("検索文字を入れてください。"));
        return;
    }
    if (query.fields == 0) {
        statusText->setText(QStringLiteral("探す所を一つ以上選んでください。"));
        return;
    }
    m_model->reset({}, {});
    problemText->hide();
    progressBar->setValue(0);
    statusText->setText(QStringLiteral("検索中…"));
    setSearching(true);
    m_cancel = false;
    // What an earlier search still had on its way is dropped.
    const std::uint64_t search = ++m_searchNumber;
    const std::string dataFolder = m_env.folder().dataFolder().string();
    m_worker = std::thread([this, query, dataFolder, search] {
        store::SearchControl control;
        control.cancel = &m_cancel;
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
    stopButton->setEnabled(running);
    progressBar->setVisible(running);
}

void SearchWindow::showProgress(const store::SearchProgress& progress) {
    if (!m_worker.joinable() || progress.bytesTotal == 0) {
        return;
    }
    progressBar->setValue(
        static_cast<int>(progress.bytesDone * kProgressSteps / progress.bytesTotal));
    statusText->setText(QStringLiteral("検索中… %1件").arg(progress.hits));
}

void SearchWindow::showResult(Result<store::SearchResult> result) {
    if (m_worker.joinable()) {
        m_worker.join();
    }
    setSearching(false);
    if (!result.isOk()) {
        statusText->setText(
            result.status().code() == StatusCode::kInvalidArgument
                ? QStringLiteral("検索文字に、メールに保存できない文字があります。")
                : ui::words(ui::Say::kSearchFailed, {}, fromUtf8(result.status().message())));
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
    statusText->setText(
        found.cancelled ? QStringLiteral("中止しました。それまでに%1件見つかりました。").arg(count)
                        : QStringLiteral("%1件見つかりました。").arg(count));
    QStringList problems;
    for (const store::SearchProblem& problem : found.problems) {
        problems << problemSentence(problem);
    }
    problemText->setText(problems.join(QLatin1Char('\n')));
    problemText->setVisible(!problems.isEmpty());
    if (count > 0) {
        resultList->setCurrentIndex(m_model->index(0, 0));
    }
}

QString SearchWindow::problemSentence(const store::SearchProblem& problem) const {
    if (problem.unsearchedBytes != 0) {
        return QStringLiteral(
                   "「%1」のファイルは末尾の%2バイトが壊れているため、その手前まで検索しました。")
            .arg(captionOf(problem.box))
            .arg(problem.unsearchedBytes);
    }
    return QStringLiteral("「%1」を最後まで読めませんでした。（%2）")
        .arg(captionOf(problem.box), fromUtf8(problem.message));
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
