// A "bmp" image plugin another user plants where Qt may look; loaded, it makes "<own path>.ran".
#include <QImageIOPlugin>

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <string>

[[gnu::constructor]] static void LeaveMarker() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&LeaveMarker), &info) != 0 && info.dli_fname != nullptr) {
        close(open((std::string(info.dli_fname) + ".ran").c_str(), O_CREAT | O_WRONLY, 0666));
    }
}

class PlantedPlugin : public QImageIOPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QImageIOHandlerFactoryInterface_iid FILE "planted_plugin.json")

  public:
    Capabilities capabilities(QIODevice*, const QByteArray&) const override { return {}; }
    QImageIOHandler* create(QIODevice*, const QByteArray& = {}) const override { return nullptr; }
};

#include "planted_plugin.moc"
