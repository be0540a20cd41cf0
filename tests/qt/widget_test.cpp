// LumoraWidget as a Qt program uses it: a Qt member for every dispatch member, properties that
// go through the setters, signals for events, painting, printing, cursors and scroll bars.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QMetaProperty>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTimer>

#include "control/dispatch.h"
#include "control/type_library.h"
#include "lumora_widget.h"
#include "support/testdata.h"

namespace {

QString Sample(const char* name) {
    return QString::fromStdString((testsupport::SourceDir() / "samples" / name).string());
}

// The signature of a member taking `count` variants, as the generated members all do.
QByteArray Signature(const std::string& name, size_t count) {
    const QStringList types(static_cast<qsizetype>(count), QStringLiteral("QVariant"));
    return QString::fromStdString(name + "(%1)").arg(types.join(',')).toLatin1();
}

TEST(LumoraWidget, EveryDispatchMemberHasAQtCounterpart) {
    const QMetaObject* meta = &LumoraWidget::staticMetaObject;
    for (const control::MemberInfo& m : control::DispatchMembers()) {
        const std::string name(m.name);
        const int property = meta->indexOfProperty(name.c_str());
        if (m.kind == control::MemberKind::Property) {
            ASSERT_GE(property, 0) << "no Q_PROPERTY " << name;
            EXPECT_EQ(meta->property(property).isWritable(), m.put != nullptr) << name;
            continue;
        }
        EXPECT_GE(meta->indexOfMethod(Signature(name, m.params.size())), 0) << name;
        EXPECT_TRUE(m.kind != control::MemberKind::IndexedProperty ||
                    meta->indexOfMethod(Signature("set" + name, m.params.size() + 1)) >= 0)
            << name;
    }
    for (const control::EventInfo& e : control::EventMembers())
        EXPECT_GE(meta->indexOfSignal(Signature(std::string(e.name), e.params.size())), 0)
            << e.name;
}

// A value the control refuses through a Qt property raises its error as a signal and in
// lastError, and leaves the property alone.
TEST(LumoraWidget, PropertiesGoThroughTheSetters) {
    LumoraWidget w;
    int raised = 0;
    QObject::connect(&w, &LumoraWidget::errorRaised,
                     [&](int number, const QString&) { raised = number; });
    w.setProperty("JPGQuality", 101);
    EXPECT_EQ(raised, 380);
    EXPECT_EQ(w.lastError(), "Error 380: Invalid property value");
    EXPECT_EQ(w.get_JPGQuality(), 0);
}

TEST(LumoraWidget, EventsArriveAsSignals) {
    LumoraWidget w;
    w.resize(120, 90);
    int paints = 0, clicks = 0;
    QVariantList down;
    QObject::connect(&w, &LumoraWidget::Paint, [&] { ++paints; });
    QObject::connect(&w, &LumoraWidget::Click, [&] { ++clicks; });
    QObject::connect(
        &w, &LumoraWidget::MouseDown,
        [&](const QVariant& b, const QVariant& s, const QVariant& x, const QVariant& y) {
            down = {b, s, x, y};
        });
    w.surface();
    EXPECT_EQ(paints, 1);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(10, 20), QPointF(10, 20), Qt::LeftButton,
                      Qt::LeftButton, Qt::ShiftModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(10, 20), QPointF(10, 20),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &press);
    QApplication::sendEvent(&w, &release);
    ASSERT_EQ(down.size(), 4);
    EXPECT_EQ(down[0].toInt(), 1);  // the left button
    EXPECT_EQ(down[1].toInt(), 1);  // shift
    EXPECT_EQ(clicks, 1);
}

// The window and printed pages show the picture pixel for pixel as Qt reads it: on the window
// at zoom 1, on a page from PrintX 30, PrintY 20 at PrintZoom 2 per axis, where unequal
// resolutions shrink the finer axis; a page that cannot be made is an error.
TEST(LumoraWidget, PaintsAndPrintsThePictureAsQtDecodesIt) {
    const QImage expected(Sample("sunset.bmp"));
    ASSERT_EQ(expected.size(), QSize(96, 64));
    const struct {
        QSize page;  // invalid: the window
        int dpiX, dpiY;
        int scaleX, scaleY;  // 0: no page
    } rows[] = {{{}, 0, 0, 1, 1},
                {{400, 300}, 150, 150, 2, 2},
                {{400, 300}, 75, 150, 1, 2},
                {{400, 300}, 150, 75, 2, 1},
                {{100, 60}, 150, 150, 2, 2},
                {{0, 300}, 150, 150, 0, 0},
                {{400, 300}, 150, 0, 0, 0}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.page.width() * 1000 + row.dpiY);
        LumoraWidget w;
        w.show();  // a shown widget passes its size on to the control
        w.resize(96, 64);
        w.setMember("BorderStyle", 0);
        w.setMember("Appearance", 0);
        ASSERT_TRUE(w.setMember("FileName", Sample("sunset.bmp")));
        w.setMember("PrintX", 30);
        w.setMember("PrintY", 20);
        w.setMember("PrintZoom", 2.0);
        const QPoint origin = row.page.isValid() ? QPoint(30, 20) : QPoint(0, 0);
        const QImage shown =
            row.page.isValid() ? w.printPage(row.page, row.dpiX, row.dpiY) : w.surface();
        if (row.scaleX == 0) {
            EXPECT_TRUE(shown.isNull());
            EXPECT_FALSE(w.lastError().isEmpty());
            continue;
        }
        ASSERT_EQ(shown.size(), row.page.isValid() ? row.page : QSize(96, 64));
        // On a page the picture ends where its last pixel does, or at the page's edge.
        const QPoint end = origin + QPoint(96 * row.scaleX, 64 * row.scaleY);
        if (row.page.isValid()) {
            EXPECT_TRUE(end.x() >= shown.width() ||
                        shown.pixel(end.x(), 25) == qRgb(255, 255, 255));
        }
        for (const QPoint p : {QPoint(0, 0), QPoint(48, 20), QPoint(30, 60), QPoint(95, 63)}) {
            const QPoint at = origin + QPoint(p.x() * row.scaleX, p.y() * row.scaleY);
            if (shown.rect().contains(at)) {
                EXPECT_EQ(QColor(shown.pixel(at)), QColor(expected.pixel(p)))
                    << p.x() << "," << p.y();
            }
        }
    }
}

TEST(LumoraWidget, AboutBoxShowsTheControlsIcon) {
    LumoraWidget w;
    QString text;
    QImage icon;
    // The box is modal: read and close it from inside its own event loop.
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        text = box->text();
        icon = box->iconPixmap().toImage();
        box->accept();
    });
    w.callMethod("AboutBox");
    EXPECT_TRUE(text.startsWith("Lumora Control, Version ")) << text.toStdString();
    EXPECT_FALSE(icon.isNull());
    EXPECT_EQ(icon, LumoraWidget::controlIcon().pixmap(32).toImage());
}

TEST(LumoraWidget, CursorAndScrollBarsFollowTheControl) {
    LumoraWidget w;
    w.resize(100, 80);
    // The cursor the control asks its site for becomes the widget's; unknown names the arrow.
    w.OnCursorChanged(platform::cursor::kSizeNS);
    EXPECT_EQ(w.cursor().shape(), Qt::SizeVerCursor);
    w.OnCursorChanged("no such cursor");
    EXPECT_EQ(w.cursor().shape(), Qt::ArrowCursor);
    ASSERT_TRUE(w.setMember("FileName", Sample("photo.jpg")));
    w.setMember("Zoom", 4.0);
    QScrollBar* horizontal = w.findChildren<QScrollBar*>()[0];
    ASSERT_EQ(horizontal->orientation(), Qt::Horizontal);
    ASSERT_TRUE(horizontal->isVisibleTo(&w));
    EXPECT_EQ(horizontal->maximum(), w.getMember("HorzRange").toInt());
    const int range = horizontal->maximum(), half = range / 2;
    horizontal->setValue(half);
    // The view offset is the bar position stretched by the control's own scroll factor.
    EXPECT_NEAR(w.getMember("HorzPos").toInt(), half * (range + 21.0) / range, 1.0);
    EXPECT_EQ(horizontal->value(), half);
}

}  // namespace
