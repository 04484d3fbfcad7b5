#pragma once
// The base component for the server's services manager (the channel through which backup,
// restore, statistics and user administration run): server name, network protocol, client
// library and service parameters; it builds the service parameter buffer, logs in, and attaches
// to and detaches from the services manager.
#include "client/IB_Intf.h"
#include "client/fib.h"
#include "client/pFIBEventLists.h"
#include "platform/Component.h"
#include "platform/StringList.h"

#include <cstdint>
#include <functional>
#include <string>

namespace qnl {

class TpFIBCustomService;

// Named pipes and SPX do not exist for Firebird on Linux: an attach through them fails with the
// client library's own error.
enum class TProtocol : uint8_t { TCP, SPX, NamedPipe, Local };

using TServiceLoginEvent = std::function<void(TpFIBCustomService* Service, TStringList& LoginParams)>;

class TpFIBCustomService : public TComponent {
public:
    explicit TpFIBCustomService(TComponent* AOwner = nullptr);
    // Detaches when attached (errors of the detach are dropped).
    ~TpFIBCustomService() override;
    std::string ClassName() const override { return "TpFIBCustomService"; }

    bool Active() const { return FHandle != 0; }
    // True attaches, false detaches, when the value changes.
    void SetActive(bool Value);
    // Client error 66 while attached, 67 without a server name for a network protocol, 7 when
    // the login is refused; a server failure raises its status vector and leaves the handle 0.
    void Attach();
    // Client error 65 when not attached; the handle is 0 afterwards whatever the server said.
    void Detach();

    const std::string& ServerName() const { return FServerName; }
    // Refused while attached (client error 66). A name with the Local protocol switches to TCP,
    // no name with another protocol switches to Local.
    void SetServerName(const std::string& Value);
    TProtocol Protocol() const { return FProtocol; }
    // Refused while attached (client error 66); Local clears the server name.
    void SetProtocol(TProtocol Value);
    const std::string& LibraryName() const { return FLibraryName; }
    // Refused while attached (client error 66); another name drops the library held.
    void SetLibraryName(const std::string& Value);
    // Name=value lines; changing them while attached is client error 66.
    THookedStringList& Params() { return FParams; }
    void SetParams(const TStringList& Value) { FParams.Assign(Value); }
    // The first line whose name stands at its start or after "isc_spb_"; -1 when none.
    int IndexOfSPBConst(const std::string& Name) const;

    // The buffer the last attach was given, and its length.
    const std::string& SPB() const { return FSPB; }
    int16_t SPBLength() const { return FSPBLength; }
    isc_svc_handle Handle() const { return FHandle; }
    // The service name the protocol gives: "host:service_mgr", "host@service_mgr",
    // "\\host\service_mgr" or "service_mgr".
    std::string ServiceName() const;

    bool LoginPrompt = true;
    // For derived services that read the manager's answers.
    int32_t OutputBufferSize = 32000;
    TNotifyEvent OnAttach;
    TServiceLoginEvent OnLogin;

private:
    bool Login();
    void CheckInactive() const;

    IIBClientLibraryPtr FLibrary;
    std::string FLibraryName;
    bool FParamsChanged = true;
    std::string FSPB;
    int16_t FSPBLength = 0;
    std::string FServerName;
    isc_svc_handle FHandle = 0;
    TProtocol FProtocol = TProtocol::Local;
    THookedStringList FParams;
};

} // namespace qnl
