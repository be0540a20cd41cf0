// The Designer plugin as Qt Designer loads it: by file, through its interface, with the control's
// icon in the widget box and a working LumoraWidget from createWidget.
#include <gtest/gtest.h>

#include <QPluginLoader>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>

#include <memory>

#include "lumora_widget.h"
#include "support/testdata.h"

namespace {

TEST(DesignerPlugin, LoadsWithTheControlsIcon) {
    QPluginLoader loader(QString::fromStdString(
        (testsupport::BinaryDir() / "designer/liblumora_designer.so").string()));
    auto* plugin = qobject_cast<QDesignerCustomWidgetInterface*>(loader.instance());
    ASSERT_NE(plugin, nullptr) << loader.errorString().toStdString();
    EXPECT_EQ(plugin->name(), "LumoraWidget");
    EXPECT_EQ(plugin->includeFile(), "lumora/lumora_widget.h");
    // The icon comes from the widget library's resources, across the library boundary.
    const QImage icon = plugin->icon().pixmap(32).toImage();
    ASSERT_EQ(icon.size(), QSize(32, 32));
    EXPECT_EQ(QColor(icon.pixel(21, 11)), QColor(0xff, 0xd2, 0x3a));  // the sun
    const std::unique_ptr<QWidget> widget(plugin->createWidget(nullptr));
    EXPECT_NE(qobject_cast<LumoraWidget*>(widget.get()), nullptr);
}

}  // namespace
