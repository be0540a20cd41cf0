#include "variant_convert.h"

#include <QByteArray>
#include <QVariantList>

using namespace platform;

QVariant ToQVariant(const Variant& value) {
    const Variant& v = value.Deref();
    if (v.vt() & VT_ARRAY) {
        const SafeArrayPtr& array = v.AsArray();
        if (!array) return {};
        if (array->ElementType() == VT_UI1)
            return QByteArray(reinterpret_cast<const char*>(array->Bytes()),
                              static_cast<qsizetype>(array->Count()));
        QVariantList list;
        for (int32_t i = array->LowerBound(); i <= array->UpperBound(); ++i) {
            int32_t element = 0;
            array->GetElement(i, &element);
            list.push_back(element);
        }
        return list;
    }
    switch (v.vt()) {
        case VT_BOOL:
            return v.AsBool() != 0;
        case VT_I2:
            return static_cast<int>(v.AsI2());
        case VT_I4:
            return static_cast<int>(v.AsI4());
        case VT_UI1:
            return static_cast<int>(v.AsUI1());
        case VT_R4:
            return static_cast<double>(v.AsR4());
        case VT_R8:
            return v.AsR8();
        case VT_BSTR:
            return QString::fromStdString(v.AsBstr());
        default:
            return {};
    }
}

Variant FromQVariant(const QVariant& value) {
    if (!value.isValid()) return Variant::Missing();
    switch (value.typeId()) {
        case QMetaType::Bool:
            return Variant::Bool(value.toBool());
        case QMetaType::Int:
        case QMetaType::Short:
        case QMetaType::UInt:
        case QMetaType::LongLong:
            return Variant::I4(static_cast<int32_t>(value.toLongLong()));
        case QMetaType::Float:
        case QMetaType::Double:
            return Variant::R8(value.toDouble());
        case QMetaType::QByteArray: {
            const QByteArray bytes = value.toByteArray();
            SafeArrayPtr array = SafeArray::Create(VT_UI1, 0, static_cast<uint32_t>(bytes.size()));
            if (!array) return Variant::Missing();
            void* data = nullptr;
            array->AccessData(&data);
            std::copy(bytes.begin(), bytes.end(), static_cast<char*>(data));
            array->UnaccessData();
            return Variant::Array(array);
        }
        default:
            return Variant::Bstr(value.toString().toStdString());
    }
}

namespace {

struct CursorName {
    std::string_view name;
    Qt::CursorShape shape;
};

constexpr CursorName kCursors[] = {
    {"arrow", Qt::ArrowCursor},        {"cross", Qt::CrossCursor},
    {"ibeam", Qt::IBeamCursor},        {"sizeall", Qt::SizeAllCursor},
    {"sizenesw", Qt::SizeBDiagCursor}, {"sizens", Qt::SizeVerCursor},
    {"sizenwse", Qt::SizeFDiagCursor}, {"sizewe", Qt::SizeHorCursor},
    {"uparrow", Qt::UpArrowCursor},    {"wait", Qt::WaitCursor},
    {"no", Qt::ForbiddenCursor},       {"appstarting", Qt::BusyCursor},
    {"help", Qt::WhatsThisCursor},     {"none", Qt::BlankCursor},
};

}  // namespace

Qt::CursorShape CursorShapeFor(std::string_view name) {
    for (const CursorName& c : kCursors)
        if (c.name == name) return c.shape;
    return Qt::ArrowCursor;
}
