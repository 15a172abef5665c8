#include "app/signal_browser.h"

#include <QCheckBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>
#include <vector>

#include "app/band_watch.h"
#include "display/band_view.h"

namespace vantrel::app {
namespace {

enum Column { kFrequency, kCall, kSnr, kHeard, kText, kColumns };
constexpr int kShownText = 160;  // characters of recent text in the list

}  // namespace

QString utcClock(double seconds) {
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::floor(seconds * 1000.0)), Qt::UTC).toString(QStringLiteral("HH:mm:ss"));
}

QString oneLine(std::string_view text, int length) {
    if (static_cast<int>(text.size()) > length) text.remove_prefix(text.size() - static_cast<std::size_t>(length));
    QString shown;
    for (char c : text) {
        if (c == '\n') shown += QStringLiteral(" \u00b6 ");
        else if (static_cast<unsigned char>(c) >= 32 && c != 127) shown += QChar::fromLatin1(c);
    }
    // The frame's runs of blanks say nothing on one line.
    return shown.simplified();
}

SignalBrowser::SignalBrowser(BandWatch& watch, RangeSource range, bool alwaysRun, QWidget* parent)
    : QWidget(parent, Qt::Window), watch_(watch), range_(std::move(range)) {
    setObjectName(QStringLiteral("SignalBrowser"));
    setWindowTitle(QStringLiteral("Signal browser"));

    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("StationList"));
    list_->setColumnCount(kColumns);
    list_->setHeaderLabels({QStringLiteral("F (Hz)"), QStringLiteral("Call"), QStringLiteral("S/N"), QStringLiteral("Heard (UTC)"),
                            QStringLiteral("Text")});
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setAllColumnsShowFocus(true);
    list_->setTextElideMode(Qt::ElideLeft);  // the newest text is the one to see
    list_->setToolTip(QStringLiteral("Double-click a station (or press Return) to tune the receiver to it"));
    list_->header()->setStretchLastSection(true);
    list_->setColumnWidth(kFrequency, 70);
    list_->setColumnWidth(kCall, 90);
    list_->setColumnWidth(kSnr, 45);
    list_->setColumnWidth(kHeard, 90);
    connect(list_, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        if (item) tuneToStation(item->data(kFrequency, Qt::UserRole).toInt());
    });

    auto* clear = new QPushButton(QStringLiteral("&Clear list"), this);
    clear->setObjectName(QStringLiteral("ClearStations"));
    connect(clear, &QPushButton::clicked, this, [this] {
        watch_.clearStations();
        refresh();
    });
    alwaysRun_ = new QCheckBox(QStringLiteral("&Keep listening while this window is closed"), this);
    alwaysRun_->setObjectName(QStringLiteral("AlwaysRun"));
    alwaysRun_->setChecked(alwaysRun);
    connect(alwaysRun_, &QCheckBox::toggled, this, &SignalBrowser::alwaysRunChanged);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("BrowserStatus"));

    view_ = new display::BandView(watch_.waterfall(), this);
    connect(view_, &display::BandView::markClicked, this, &SignalBrowser::tuneToStation);
    connect(&watch_, &BandWatch::blockDone, this, [this] {
        if (isVisible()) refresh();
    });

    auto* row = new QHBoxLayout;
    row->addWidget(clear);
    row->addWidget(alwaysRun_);
    row->addStretch(1);
    row->addWidget(status_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(list_, 2);
    layout->addLayout(row);
    layout->addWidget(view_, 3);
    resize(960, 580);
}

void SignalBrowser::tuneToStation(int id) {
    const modem::StationList& stations = watch_.stations();
    for (int i = 0; i < stations.count(); ++i)
        if (stations.station(i).id() == id) emit tuneRequested(static_cast<int>(std::nearbyint(stations.station(i).frequency())));
}

void SignalBrowser::refresh() {
    const modem::StationList& stations = watch_.stations();
    const modem::ModeProfile& profile = watch_.bank().profile();
    std::vector<const modem::Station*> sorted;
    for (int i = 0; i < stations.count(); ++i) sorted.push_back(&stations.station(i));
    std::sort(sorted.begin(), sorted.end(), [](const auto* a, const auto* b) { return a->frequency() < b->frequency(); });

    const int selected = list_->currentItem() ? list_->currentItem()->data(kFrequency, Qt::UserRole).toInt() : -1;
    while (list_->topLevelItemCount() > static_cast<int>(sorted.size())) delete list_->takeTopLevelItem(list_->topLevelItemCount() - 1);
    while (list_->topLevelItemCount() < static_cast<int>(sorted.size())) list_->addTopLevelItem(new QTreeWidgetItem);

    std::vector<display::BandMark> marks;
    std::array<char, kShownText> text{};
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        const modem::Station& s = *sorted[i];
        QTreeWidgetItem* item = list_->topLevelItem(static_cast<int>(i));
        const QString call = QString::fromLatin1(s.call().data(), static_cast<qsizetype>(s.call().size()));
        const std::size_t n = s.copyRecentText(text);
        item->setData(kFrequency, Qt::UserRole, s.id());
        item->setText(kFrequency, QString::number(std::lround(s.frequency())));
        item->setTextAlignment(kFrequency, Qt::AlignRight | Qt::AlignVCenter);
        item->setText(kCall, call);
        item->setText(kSnr, QString::number(s.snr()));
        item->setTextAlignment(kSnr, Qt::AlignRight | Qt::AlignVCenter);
        item->setText(kHeard, utcClock(s.lastHeard()));
        item->setText(kText, oneLine({text.data(), n}, kShownText));
        if (s.id() == selected && list_->currentItem() != item) list_->setCurrentItem(item);
        const double lowest = modem::txBaseFrequency(profile, static_cast<int>(std::nearbyint(s.frequency())));
        marks.push_back({s.id(), lowest, lowest + (modem::kToneCount - 1) * modem::toneSpacing(profile), call});
    }
    const auto [low, high] = range_ ? range_() : std::pair<double, double>{0, 0};
    view_->setMarks(std::move(marks), low, high);
    view_->showBlock();
    const int count = static_cast<int>(sorted.size());
    setWindowTitle(count == 0 ? QStringLiteral("Signal browser")
                              : QStringLiteral("Signal browser: %1 station%2 heard").arg(count).arg(count == 1 ? "" : "s"));
    const int baud = static_cast<int>(std::lround(profile.sampleRate / static_cast<double>(modem::symbolLength(profile))));
    status_->setText(QStringLiteral("%1 receivers across %2-%3 Hz at %4 baud")
                         .arg(watch_.bank().slotCount())
                         .arg(modem::kPassbandLow)
                         .arg(modem::kPassbandHigh)
                         .arg(baud));
}

void SignalBrowser::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    refresh();
    emit shownChanged(true);
}

void SignalBrowser::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    emit shownChanged(false);
}

}  // namespace vantrel::app
