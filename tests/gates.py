"""The gates and measurements of NodeWeave, and the words of the 24 vertex operators: one list of
each for all the tests."""

# In the order the class registers them.
SINGLE_QUBIT_GATES = ["x", "y", "z", "h", "s", "sdag"]
TWO_QUBIT_GATES = ["cz", "cx", "xcx", "ycx", "xcz", "ycz", "cy", "xcy", "ycy"]
MEASUREMENTS = ["measure_x", "measure_y", "measure_z"]

# Each vertex operator as a product of H and S read left to right; the rightmost factor acts first.
VOP_WORDS = [
    "", "HSSH", "SSHSSH", "SS", "HSSHS", "SSS", "S", "SHSSH",
    "SSHSS", "HSS", "H", "SSH", "SSSHS", "SSHSH", "SHS", "HSH",
    "SHSH", "SSHS", "SSSHSH", "HS", "SH", "SSSH", "HSSHSH", "SHSS",
]
