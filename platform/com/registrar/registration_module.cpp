// The exports of the registration module (libtevoregistrar.so): the registrar and the
// component-categories manager on the server kit.
#include "registrar_object.h"
#include "tevo/com/activation.h"
#include "tevo/com/registrar.h"

namespace tevo::com::registrar {

namespace {

const tevo::com::server::ClassEntry kClasses[] = {
    {&CLSID_Registrar, true, CreateRegistrar, {"Registrar"}},
    {&CLSID_StdComponentCategoriesMgr,
     true,
     CreateCategoriesManager,
     {"Component Categories Manager"}},
};

}  // namespace

tevo::com::server::ServerModule& RegistrationModule() {
    static tevo::com::server::ServerModule module(kClasses);
    return module;
}

}  // namespace tevo::com::registrar

TEVO_SERVER_KIT_CLASS_OBJECT_EXPORTS(tevo::com::registrar::RegistrationModule())
TEVO_SERVER_KIT_REGISTRATION_EXPORTS(tevo::com::registrar::RegistrationModule())
