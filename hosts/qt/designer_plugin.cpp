// Qt Designer's entry for LumoraWidget: it appears in the widget box and its properties, all
// of _DLumora's, show in the property editor.
#include <QtUiPlugin/QDesignerCustomWidgetInterface>

#include "lumora/version.h"
#include "lumora_widget.h"

class LumoraDesignerPlugin : public QObject, public QDesignerCustomWidgetInterface {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QDesignerCustomWidgetInterface")
    Q_INTERFACES(QDesignerCustomWidgetInterface)

  public:
    using QObject::QObject;
    QString name() const override { return QStringLiteral("LumoraWidget"); }
    QString group() const override { return QStringLiteral("Display Widgets"); }
    QString toolTip() const override { return QStringLiteral("Lumora picture control"); }
    QString whatsThis() const override {
        return QStringLiteral("Lumora Control, version " LUMORA_VERSION_STRING);
    }
    QString includeFile() const override { return QStringLiteral("lumora/lumora_widget.h"); }
    QIcon icon() const override { return LumoraWidget::controlIcon(); }
    bool isContainer() const override { return false; }
    QWidget* createWidget(QWidget* parent) override { return new LumoraWidget(parent); }
    bool isInitialized() const override { return initialized_; }
    void initialize(QDesignerFormEditorInterface*) override { initialized_ = true; }

  private:
    bool initialized_ = false;
};

#include "designer_plugin.moc"
