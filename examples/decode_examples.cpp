// SPDX-License-Identifier: Apache-2.0
// Decodes a few primitives through the public operations and prints the text.
#include <cstdint>
#include <cstdio>

#include <RizOrodOzido/RizOrodOzido.h>

int main() {
    RizOrodOzido decoder;
    // DM_ACL_CONNECT_CFM_T: type 0x2004, phandle 0x1a, status 0, handle 0x29,
    // bd_addr 0x0002:5b:9e8b33, enc_mode 1.
    const std::uint8_t acl_connect_cfm[] = {0x04, 0x20, 0x1a, 0x00, 0x00, 0x00, 0x29, 0x00, 0x33,
                                            0x8b, 0x9e, 0x00, 0x5b, 0x00, 0x02, 0x00, 0x01};
    std::fputs(decoder.debugDMprim(0x2004, acl_connect_cfm).c_str(), stdout);

    // L2CA_CONNECT_RSP_T: type 4, identifier 7, cid 0x40, response 0.
    const std::uint8_t l2ca_connect_rsp[] = {0x04, 0x00, 0x07, 0x00, 0x40, 0x00, 0x00, 0x00};
    std::fputs(decoder.debugL2CAPprim(0x0004, l2ca_connect_rsp).c_str(), stdout);

    // RFC_FCON_REQ_T: type 0x12, mux_id 1.
    const std::uint8_t rfc_fcon_req[] = {0x12, 0x00, 0x01, 0x00};
    std::fputs(decoder.debugRFCOMMprim(0x0012, rfc_fcon_req).c_str(), stdout);

    // SDC_CONFIG_REQ_T: type 0x0b, mtu 0x2a0.
    const std::uint8_t sdc_config_req[] = {0x0b, 0x00, 0xa0, 0x02};
    std::fputs(decoder.debugSDPprim(0x000b, sdc_config_req).c_str(), stdout);

    // A code that the SDP interface does not define.
    std::fputs(decoder.debugSDPprim(0x000d, sdc_config_req).c_str(), stdout);
    return 0;
}
