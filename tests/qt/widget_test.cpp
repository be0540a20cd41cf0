// LumoraWidget as a Qt program uses it: a Qt member for every dispatch member, properties that
// go through the setters, signals for events, painting, cursors and scroll bars.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTimer>

#include <cstdlib>
#include <string>
#include <utility>

#include "control/dispatch.h"
#include "control/type_library.h"
#include "lumora_widget.h"
#include "support/testdata.h"

namespace {

const QString kPhoto =
    QString::fromStdString((testsupport::SourceDir() / "samples/photo.jpg").string());

int MethodIndex(const QMetaObject* meta, std::string_view name, int parameters,
                QMetaMethod::MethodType type) {
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        const QMetaMethod m = meta->method(i);
        if (m.methodType() == type && m.name() == QByteArray(name.data(), qsizetype(name.size())) &&
            m.parameterCount() == parameters)
            return i;
    }
    return -1;
}

TEST(LumoraWidget, EveryDispatchMemberHasAQtCounterpart) {
    const QMetaObject* meta = &LumoraWidget::staticMetaObject;
    for (const control::MemberInfo& m : control::DispatchMembers()) {
        const std::string name(m.name);
        SCOPED_TRACE(name);
        const int n = static_cast<int>(m.params.size());
        if (m.kind == control::MemberKind::Property) {
            const int index = meta->indexOfProperty(name.c_str());
            ASSERT_GE(index, 0) << "no Q_PROPERTY";
            EXPECT_EQ(meta->property(index).isWritable(), m.put != nullptr);
        } else if (m.kind == control::MemberKind::IndexedProperty) {
            EXPECT_GE(MethodIndex(meta, m.name, n, QMetaMethod::Method), 0);
            EXPECT_GE(MethodIndex(meta, "set" + name, n + 1, QMetaMethod::Method), 0);
        } else {
            EXPECT_GE(MethodIndex(meta, m.name, n, QMetaMethod::Method), 0) << "no invokable";
        }
    }
    for (const control::EventInfo& e : control::EventMembers())
        EXPECT_GE(MethodIndex(meta, e.name, static_cast<int>(e.params.size()), QMetaMethod::Signal),
                  0)
            << "no signal " << e.name;
}

TEST(LumoraWidget, PropertiesGoThroughTheSetters) {
    LumoraWidget w;
    EXPECT_EQ(w.property("Zoom").toDouble(), 1.0);
    EXPECT_TRUE(w.setProperty("Zoom", 2.5));
    EXPECT_EQ(w.get_Zoom(), 2.5);
    int raised = 0;
    QObject::connect(&w, &LumoraWidget::errorRaised,
                     [&](int number, const QString&) { raised = number; });
    w.setProperty("JPGQuality", 101);
    EXPECT_EQ(raised, 380);
    EXPECT_EQ(w.lastError(), "Error 380: Invalid property value");
    EXPECT_EQ(w.get_JPGQuality(), 0);
    EXPECT_TRUE(w.setMember("FileName", kPhoto)) << w.lastError().toStdString();
    EXPECT_EQ(w.getMember("bmpw").toInt(), 96);
    QVariant width;
    QMetaObject::invokeMethod(&w, "ScaleX", Q_RETURN_ARG(QVariant, width), Q_ARG(QVariant, 1),
                              Q_ARG(QVariant, QVariant()), Q_ARG(QVariant, QVariant()));
    // Members whose implementation is missing answer 438 instead of failing silently.
    if (!width.isValid()) {
        EXPECT_TRUE(w.lastError().startsWith("Error 438")) << w.lastError().toStdString();
    }
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
    EXPECT_EQ(down[0].toInt(), 1);
    EXPECT_EQ(down[1].toInt(), 1);
    EXPECT_EQ(clicks, 1);
}

TEST(LumoraWidget, PaintsThePictureAsQtDecodesIt) {
    LumoraWidget w;
    w.resize(96, 64);
    w.setMember("BorderStyle", 0);
    w.setMember("Appearance", 0);
    ASSERT_TRUE(w.setMember("FileName", kPhoto)) << w.lastError().toStdString();
    const QImage shown = w.surface();
    const QImage expected(kPhoto);
    ASSERT_FALSE(shown.isNull());
    ASSERT_EQ(expected.size(), QSize(96, 64));
    for (const QPoint p : {QPoint(2, 2), QPoint(48, 32), QPoint(10, 60), QPoint(90, 20)}) {
        const QColor a = shown.pixelColor(p), b = expected.pixelColor(p);
        EXPECT_LE(std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
                      std::abs(a.blue() - b.blue()),
                  24)
            << p.x() << "," << p.y();
    }
}

// The rectangle of a page's pixels that are not paper white.
QRect InkBounds(const QImage& page) {
    QRect ink;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            if (page.pixel(x, y) != qRgb(255, 255, 255)) ink |= QRect(x, y, 1, 1);
    return ink;
}

TEST(LumoraWidget, PrintsOnARasterPage) {
    const QString sunset =
        QString::fromStdString((testsupport::SourceDir() / "samples/sunset.bmp").string());
    const QImage expected(sunset);
    ASSERT_EQ(expected.size(), QSize(96, 64));
    struct Row {
        QSize page;
        int dpiX, dpiY;
        QRect ink;  // null: no page
        int scaleX, scaleY;
    };
    // At PrintX 30, PrintY 20 and PrintZoom 2; unequal resolutions shrink the finer axis.
    for (const Row& row :
         std::initializer_list<Row>{{{400, 300}, 150, 150, {30, 20, 192, 128}, 2, 2},
                                    {{400, 300}, 75, 150, {30, 20, 96, 128}, 1, 2},
                                    {{400, 300}, 150, 75, {30, 20, 192, 64}, 2, 1},
                                    {{100, 60}, 150, 150, {30, 20, 70, 40}, 2, 2},
                                    {{0, 300}, 150, 150, {}, 0, 0},
                                    {{400, 300}, 150, 0, {}, 0, 0}}) {
        SCOPED_TRACE(row.page.width() * 1000 + row.dpiY);
        LumoraWidget w;
        ASSERT_TRUE(w.setMember("FileName", sunset));
        w.setMember("PrintX", 30);
        w.setMember("PrintY", 20);
        w.setMember("PrintZoom", 2.0);
        const QImage page = w.printPage(row.page, row.dpiX, row.dpiY);
        if (row.ink.isNull()) {
            EXPECT_TRUE(page.isNull());
            EXPECT_FALSE(w.lastError().isEmpty());
            continue;
        }
        ASSERT_EQ(page.size(), row.page);
        EXPECT_EQ(InkBounds(page), row.ink);
        // Pixel for pixel the picture as Qt reads it, where the page has room for it.
        for (const QPoint p : {QPoint(5, 3), QPoint(48, 20), QPoint(30, 60), QPoint(20, 8)}) {
            const QPoint at(30 + p.x() * row.scaleX, 20 + p.y() * row.scaleY);
            if (page.rect().contains(at)) {
                EXPECT_EQ(QColor(page.pixel(at)), QColor(expected.pixel(p)))
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
    EXPECT_EQ(icon, LumoraWidget::controlIcon().pixmap(32).toImage());
    EXPECT_FALSE(icon.isNull());
}

TEST(LumoraWidget, CursorAndScrollBarsFollowTheControl) {
    LumoraWidget w;
    w.resize(100, 80);
    // The cursor the control asks its site for becomes the widget's.
    for (const auto& [name, shape] : {std::pair{platform::cursor::kCross, Qt::CrossCursor},
                                      std::pair{platform::cursor::kIBeam, Qt::IBeamCursor},
                                      std::pair{platform::cursor::kWait, Qt::WaitCursor},
                                      std::pair{platform::cursor::kSizeNS, Qt::SizeVerCursor},
                                      std::pair{platform::cursor::kArrow, Qt::ArrowCursor}}) {
        w.OnCursorChanged(name);
        EXPECT_EQ(w.cursor().shape(), shape) << name;
    }
    ASSERT_TRUE(w.setMember("FileName", kPhoto));
    w.setMember("Zoom", 4.0);
    QScrollBar* horizontal = nullptr;
    for (QScrollBar* bar : w.findChildren<QScrollBar*>())
        if (bar->orientation() == Qt::Horizontal) horizontal = bar;
    ASSERT_NE(horizontal, nullptr);
    ASSERT_TRUE(horizontal->isVisibleTo(&w));
    EXPECT_EQ(horizontal->maximum(), w.getMember("HorzRange").toInt());
    const int range = horizontal->maximum(), half = range / 2;
    horizontal->setValue(half);
    // The view offset is the bar position stretched by the control's own scroll factor.
    EXPECT_NEAR(w.getMember("HorzPos").toInt(), half * (range + 21.0) / range, 1.0);
    EXPECT_EQ(horizontal->value(), half);
}

}  // namespace
