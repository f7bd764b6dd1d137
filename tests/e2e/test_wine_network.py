"""Scales on the network under wine: a representative part of the Windows program's end-to-end
jobs runs once more behind ser2net, with the COM-PORT-OPTION and as a plain TCP port."""

import test_wine
from test_network import over_the_network

# Backup and restore (descriptions fetched, records with FFh both ways), up and down, the NAK,
# time-out and bad block check faults, and a server that ends in the middle of a table.
REPRESENTATIVE = {
    test_wine.WineJobs: ("test_backup_and_restore_match_the_linux_program",),
    test_wine.WineDataFaults: (
        "test_key_digit_string_and_character_with_a_size_digit_keep_their_columns",),
    test_wine.WineFaultMatrix: ("test_link_faults",
                                "test_scale_vanishes_mid_backup_and_mid_restore"),
}


def _define_cases():
    for kind in ("rfc2217", "tcp"):
        for base, names in REPRESENTATIVE.items():
            case = over_the_network(base, kind, names)
            globals()[case.__name__] = case


_define_cases()

if __name__ == "__main__":
    import unittest
    unittest.main()
