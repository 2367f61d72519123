// The model as the rule notation's evaluator sees it: values of attributes, references and
// selects resolved, and a value written for a person.
#include "expr.h"

#include <cmath>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "cct/aggr.h"
#include "cct/entitytype.h"
#include "cct/instance.h"
#include "cct/selecttype.h"
#include "expr_node.h"

namespace varnholt::rules {

namespace {

const cct_Instance* Usable(const cct_Type* value) {
  if (!value || value->Kind() != cct_KIND_INSTANCE) return nullptr;
  const auto* instance = static_cast<const cct_Instance*>(value);
  return instance->IsKilled() ? nullptr : instance;
}

Value InstanceValue(const cct_Instance* instance) {
  Value v;
  if (!instance) return v;
  v.kind = Value::Instance;
  v.instance = instance;
  return v;
}

}  // namespace

Value FromModel(const cct_Type* value, int depth) {
  Value v;
  if (!value || !value->IsSet() || depth > kMaxDepth) return v;
  switch (value->Kind()) {
    case cct_KIND_INTEGER:
      v = Value::Of(static_cast<double>(value->GetInteger()));
      v.integer = true;
      return v;
    case cct_KIND_REAL: {
      const double d = value->GetReal();
      if (std::isfinite(d)) v = Value::Of(d);
      return v;
    }
    case cct_KIND_BOOLEAN:
    case cct_KIND_LOGICAL: {
      const long l = value->GetInteger();
      return Value::Of(l == 1 ? Logic::True : l == 0 ? Logic::False : Logic::Unknown);
    }
    case cct_KIND_ENUMERATION:
    case cct_KIND_STRING: {
      const char* s = value->GetString();
      if (!s) return v;
      v.kind = Value::Text;
      v.text = s;
      return v;
    }
    case cct_KIND_ENTITY_REFERENCE:
      return InstanceValue(Usable(static_cast<const cct_EntityType*>(value)->Get(0)));
    case cct_KIND_INSTANCE: return InstanceValue(Usable(value));
    case cct_KIND_SELECT: {
      const auto* select = static_cast<const cct_SelectType*>(value);
      cct_Type* held = select->Get(0, 0);
      if (!held) return v;
      if (held->IsTemporary()) {
        v = FromModel(held, depth + 1);
        delete held;
        return v;
      }
      return InstanceValue(Usable(held));
    }
    case cct_KIND_AGGREGATE: {
      const auto* aggregate = static_cast<const cct_AggregateType*>(value);
      if (!aggregate->BaseType()) return v;
      v.kind = Value::List;
      if (aggregate->Dimensions() == 1) {
        const auto* one = static_cast<const cct_AggregateType_1d*>(aggregate);
        for (uint32_t i = 0; i < one->Count(); ++i) {
          cct_Type* element = one->ElementObject(i);
          v.list.push_back(FromModel(element, depth + 1));
          if (element && element->IsTemporary()) delete element;
        }
      } else {
        const auto* two = static_cast<const cct_AggregateType_2d*>(aggregate);
        for (uint32_t i = 0; i < two->Rows(); ++i) {
          Value row;
          row.kind = Value::List;
          for (uint32_t j = 0; j < two->RowLength(i); ++j) {
            cct_Type* element = two->ElementObject(i, j);
            row.list.push_back(FromModel(element, depth + 1));
            if (element && element->IsTemporary()) delete element;
          }
          v.list.push_back(std::move(row));
        }
      }
      return v;
    }
    default: return v;
  }
}

const cct_Type* AttributeNamed(const cct_Instance& instance, const std::string& name) {
  // Positions by entity and name, found once: every instance of an entity has the same layout.
  static std::mutex mutex;
  static std::map<std::pair<long, std::string>, long> positions;
  long position = -1;
  {
    std::lock_guard<std::mutex> lock(mutex);
    const auto key = std::make_pair(instance.TypeID(), name);
    auto found = positions.find(key);
    if (found == positions.end() || instance.TypeID() == 0) {
      const long count = instance.AttributeCount();
      for (long i = 0; i < count; ++i) {
        const char* attribute = instance.AttributeName(i);
        if (attribute && name == attribute) {
          position = i;
          break;
        }
      }
      if (instance.TypeID() != 0) positions.emplace(key, position);
    } else {
      position = found->second;
    }
  }
  return position < 0 ? nullptr : instance.Attribute(position);
}

std::string Show(const Value& value) {
  switch (value.kind) {
    case Value::Indeterminate: return "unset";
    case Value::Logical:
      return value.logic == Logic::True ? "TRUE" : value.logic == Logic::False ? "FALSE" : "UNKNOWN";
    case Value::Number: {
      char buffer[64];
      std::snprintf(buffer, sizeof buffer, "%.10g", value.number);
      return buffer;
    }
    case Value::Text: return "'" + value.text + "'";
    case Value::Instance: {
      const char* name = value.instance->InstanceName();
      return std::string("#") + (name ? name : "?");
    }
    case Value::List:
    case Value::Types: {
      std::string text = "(";
      for (size_t i = 0; i < value.list.size(); ++i) {
        if (i == 8) {
          text += ", ...";
          break;
        }
        text += (i ? ", " : "") + Show(value.list[i]);
      }
      return text + ")";
    }
  }
  return "?";
}

}  // namespace varnholt::rules
