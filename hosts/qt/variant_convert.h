// Values between the control's variants and Qt's: numbers, truth values, text, arrays (as
// QVariantList, bytes as QByteArray). An invalid QVariant travels as an omitted argument.
#pragma once

#include <QVariant>

#include <string_view>

#include "platform/ole/variant.h"

QVariant ToQVariant(const platform::Variant& value);
platform::Variant FromQVariant(const QVariant& value);
// The Qt cursor for one of the control's cursor names; the arrow for an unknown one.
Qt::CursorShape CursorShapeFor(std::string_view name);
