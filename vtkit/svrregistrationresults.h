#pragma once

#include "vtkit/vtuserid.h"

#include <cstdint>
#include <string>

// What an attach exchange brought back.
class VTAttachResults {
public:
    VTAttachResults() = default;
    virtual ~VTAttachResults();
    VTAttachResults(const VTAttachResults&) = default;
    VTAttachResults& operator=(const VTAttachResults&) = default;

    bool IsAttached() const { return m_attached != 0; }
    const VTUserId& GetUserId() const { return m_userId; }
    const std::string& GetApplicationId() const { return m_applicationId; }
    const std::string& GetLogin() const { return m_login; }

    void SetAttached(bool attached) { m_attached = attached ? 1 : 0; }
    VTUserId& UserId() { return m_userId; }
    void SetApplicationId(std::string_view id) { m_applicationId = id; }
    void SetLogin(std::string_view login) { m_login = login; }
    void Clear() { *this = VTAttachResults(); }

private:
    std::int32_t m_attached = 0;
    VTUserId m_userId;
    std::string m_applicationId;
    std::string m_login;
};
