// The type information of automation interfaces as the Python package uses it: the
// platform's descriptions, read once per interface and kept.
#pragma once

#include "tevo/com/type_description.h"
#include "tevo/platform.h"

namespace tevo::python {

using tevo::com::DescribeInterface;
using tevo::com::EnumDescription;
using tevo::com::EnumMember;
using tevo::com::FindMember;
using tevo::com::InterfaceDescription;
using tevo::com::LibraryEnumerations;
using tevo::com::Member;
using tevo::com::Parameter;
using tevo::com::ValueType;

}  // namespace tevo::python
