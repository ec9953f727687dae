#pragma once

#include "util/StringList.h"

#include <QByteArray>
#include <QDialog>
#include <QPointer>

class QPushButton;
class QSplitter;
class THtmlView;
class QTreeWidget;
class THttpClient;

// The news window: the messages of NewsList in a list, the body of the selected one below,
// fetched from the news service and rendered as HTML (display only, see THtmlView: no scripts,
// no local files, laid out outside this process). Opening a body records its id as LastNewsId. While a body loads
// (FBusy) the list refuses every selection change.
class TfrmNews : public QDialog
{
    Q_OBJECT
public:
    TfrmNews(THttpClient* http, const StringList& newsList, QWidget* parent = nullptr);

    QWidget* panTop = nullptr;
    QTreeWidget* lvwItems = nullptr; // columns "News Title", "Published" and the hidden message id
    QSplitter* splitter = nullptr;
    THtmlView* prfEditorNews = nullptr; // display only; document operations time out after 30 s
    QWidget* panBottom = nullptr;
    QPushButton* btnExit = nullptr; // "Close"

    bool FBusy = false;

    void FormShow();
    void lvwItemsChange();
    bool lvwItemsChanging() const { return !FBusy; }
    void btnExitClick();

    bool GetNewsDetails(const QByteArray& publisherId, const QByteArray& branderCode, const QByteArray& productType,
                        const QByteArray& newsTarget, const QByteArray& newsId, QByteArray& html);

    // The message id a row stands for (its hidden column holds the same text).
    static constexpr int kIdRole = Qt::UserRole + 1;

    // Closing the window (Close, Escape, the title bar) also ends a body that still loads.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QPointer<THttpClient> m_http;
    StringList m_newsList;
    bool m_filled = false;
};
