#include "ServiceTestSupport.h"

namespace ServiceTest {

ServiceConfig configFor(const FakeService &fake)
{
    return ServiceConfig(fake.origin(), fake.origin(), fake.origin());
}

ServiceClient *clientFor(const FakeService &fake, QObject *parent, const QString &token,
                         const QString &deviceId)
{
    return new ServiceClient(
        configFor(fake),
        [token, deviceId]() {
            return ServiceApi::Credentials{token, deviceId};
        },
        parent);
}

} // namespace ServiceTest
