// Implements TpFIBCustomService; see IB_Services.h.
#include "client/IB_Services.h"

#include "client/FIBDatabase.h"
#include "client/FIBSQLMonitor.h"

namespace qnl {

TpFIBCustomService::TpFIBCustomService(TComponent* AOwner)
    : TComponent(AOwner), FLibraryName(DefaultClientLibraryName) {
    FParams.OnChanging = [this] { CheckInactive(); };
    FParams.OnChange = [this] { FParamsChanged = true; };
}

TpFIBCustomService::~TpFIBCustomService() {
    if (FHandle != 0 && FLibrary) FLibrary->isc_service_detach(ThreadStatusVector(), &FHandle);
    FHandle = 0;
}

void TpFIBCustomService::CheckInactive() const {
    if (FHandle != 0) RaiseClientError(cecServiceInactive);   // "... service is attached"
}

void TpFIBCustomService::SetActive(bool Value) {
    if (Value == Active()) return;
    if (Value) Attach();
    else Detach();
}

void TpFIBCustomService::SetServerName(const std::string& Value) {
    if (Value == FServerName) return;
    CheckInactive();
    FServerName = Value;
    if (!Value.empty() && FProtocol == TProtocol::Local) FProtocol = TProtocol::TCP;
    else if (Value.empty() && FProtocol != TProtocol::Local) FProtocol = TProtocol::Local;
}

void TpFIBCustomService::SetProtocol(TProtocol Value) {
    if (Value == FProtocol) return;
    CheckInactive();
    FProtocol = Value;
    if (Value == TProtocol::Local) FServerName.clear();
}

void TpFIBCustomService::SetLibraryName(const std::string& Value) {
    CheckInactive();
    if (Value == FLibraryName) return;
    FLibraryName = Value;
    FLibrary.reset();
}

int TpFIBCustomService::IndexOfSPBConst(const std::string& Name) const {
    for (int i = 0; i < FParams.Count(); ++i) {
        const size_t at = FParams[i].find(Name);
        if (at == 0 || at == 8) return i;
    }
    return -1;
}

std::string TpFIBCustomService::ServiceName() const {
    switch (FProtocol) {
    case TProtocol::TCP: return FServerName + ":service_mgr";
    case TProtocol::SPX: return FServerName + "@service_mgr";
    case TProtocol::NamedPipe: return "\\\\" + FServerName + "\\service_mgr";
    case TProtocol::Local: break;
    }
    return "service_mgr";
}

bool TpFIBCustomService::Login() {
    if (OnLogin) {
        TStringList lines;
        lines.Assign(FParams);
        OnLogin(this, lines);
        FParams.Assign(lines);
        return true;
    }
    if (!DatabaseLoginDialog) return false;
    auto value = [this](const char* Name) {
        const int i = IndexOfSPBConst(Name);
        if (i < 0) return std::string();
        const std::string& line = FParams[i];
        const size_t eq = line.find('=');
        return eq == std::string::npos ? std::string() : line.substr(eq + 1);
    };
    std::string user = value("user_name");
    std::string password = value("password");
    std::string role = value("sql_role_name");
    const bool result = DatabaseLoginDialog(FServerName, user, password, role);
    if (result) {
        auto writeBack = [this](const char* Name, const std::string& Value) {
            const int i = IndexOfSPBConst(Name);
            const std::string line = std::string(Name) + "=" + Value;
            if (i >= 0) FParams.SetString(i, line);
            else FParams.Add(line);
        };
        writeBack("user_name", user);
        writeBack("password", password);
        writeBack("sql_role_name", role);
    }
    return result;
}

void TpFIBCustomService::Attach() {
    CheckInactive();
    if (FServerName.empty() && FProtocol != TProtocol::Local) RaiseClientError(cecServerNameMissing);
    if (LoginPrompt && !Login()) RaiseClientError(cecCancelled);
    if (FParamsChanged) {
        TStringList lines;
        lines.Assign(FParams);
        BuildSPB(lines, FSPB, FSPBLength);
        FParamsChanged = false;
    }
    const std::string name = ServiceName();
    if (!FLibrary) FLibrary = FindOrLoadClientLibrary(FLibraryName);
    if (!FLibrary->IsLoaded()) FLibrary->Load();
    const auto nameLength = static_cast<unsigned short>(ClientTextLength(name, UINT16_MAX, "Service name"));
    if (FLibrary->isc_service_attach(ThreadStatusVector(), nameLength, name.c_str(), &FHandle,
                                     static_cast<unsigned short>(FSPBLength), FSPB.data()) != 0) {
        FHandle = 0;
        RaiseStatusVectorError(*FLibrary, this);
    }
    if (OnAttach) OnAttach(this);
    MonitorTrace([this](TFIBSQLMonitorHook& Hook) { Hook.TraceServiceAttach(*this); });
}

void TpFIBCustomService::Detach() {
    if (FHandle == 0) RaiseClientError(cecServiceActive);   // "... service is not attached"
    const ISC_STATUS status = FLibrary->isc_service_detach(ThreadStatusVector(), &FHandle);
    FHandle = 0;
    if (status != 0) RaiseStatusVectorError(*FLibrary, this);
    MonitorTrace([this](TFIBSQLMonitorHook& Hook) { Hook.TraceServiceDetach(*this); });
}

} // namespace qnl
