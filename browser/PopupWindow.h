#pragma once

#include <QPointer>
#include <QUrl>
#include <QWidget>

class QStatusBar;
class QTimer;

namespace talvo::browser {

class BrowserPage;
class BrowserView;

// A window the web application opened (a customer's details, a print view): the same
// profile as the main window, so the session goes along; titled with its page's title,
// with a status line. The page's window.close() closes it, but never under an open dialog
// of the page or a print preview of it: then it closes when they have. Deletes itself when
// closed.
class PopupWindow : public QWidget {
    Q_OBJECT
public:
    // requested: the size the page asked for (empty: 1011 x 767); centred on centreOn.
    // page: the page to show, already holding what the opener asked for; taken over.
    PopupWindow(BrowserPage* page, const QSize& requested, QWidget* centreOn);

    // A window whose opener writes its document (window.open("") and document.write).
    // The engine of Qt 6.4 brings the whole program down when a view shows such a
    // document, so it stays in scriptPage, never shown, where its script runs once with
    // its true origin; the view shows a copy of it with scripting off, taken again
    // whenever the document changes. Sent on to a real address, the view goes there.
    // origin: the written document's site, where the copy lives. ready() comes once the view
    // can show it; shown before, the window would be made anew under the user's eyes.
    static PopupWindow* forWrittenDocument(BrowserPage* scriptPage, const QUrl& origin, const QSize& requested,
                                           QWidget* centreOn);

    BrowserView* view() const { return view_; }
    // The page the opener's script works on: the shown one, or the written document's.
    BrowserPage* scriptPage() const;

    // Something of ours (a print preview) works on the window: the page's close waits.
    void hold();
    void release();

    static constexpr QSize kDefaultSize{1011, 767};

signals:
    // The written document asked to print; the view holds its copy.
    void printRequested();
    // A written document's window can be shown.
    void ready();

private:
    PopupWindow(BrowserPage* shown, BrowserPage* scriptPage, const QSize& requested, QWidget* centreOn);
    void watchScriptPage(BrowserPage* page);
    void closeWhenFree();
    void copyDocument();
    void showCopy(const QString& html);

    BrowserView* view_;
    QStatusBar* status_;
    QPointer<BrowserPage> written_;
    QTimer* copyTimer_ = nullptr;
    bool shellReady_ = false;
    QString pendingCopy_;
    QString copyBase_;
    int holds_ = 0;
    bool closeAsked_ = false;
};

} // namespace talvo::browser
