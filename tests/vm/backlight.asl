/*
 * A laptop panel for acpi_video, added to QEMU's ACPI tables with
 * -acpitable: the VGA adapter (\_SB.PCI0.S10, slot 2 of the i440fx machine)
 * becomes a video bus (_DOS, _DOD) with one LCD output whose brightness the
 * firmware sets (_BCM) and reports back (_BQC). Levels 0..100 in steps of 10
 * after the two defaults (AC, battery), so the kernel's max_brightness is 10.
 */
DefinitionBlock ("", "SSDT", 2, "HALVO", "VMPANEL", 1)
{
    External (\_SB.PCI0.S10, DeviceObj)

    Scope (\_SB.PCI0.S10)
    {
        Method (_DOS, 1, NotSerialized)
        {
        }

        /* One output, device id 0x0400: an internal flat panel. */
        Method (_DOD, 0, NotSerialized)
        {
            Return (Package () { 0x80010400 })
        }

        Device (LCD0)
        {
            Name (_ADR, 0x0400)
            Name (BLVL, 50)

            Method (_BCL, 0, NotSerialized)
            {
                Return (Package () { 100, 50, 0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100 })
            }

            Method (_BCM, 1, NotSerialized)
            {
                BLVL = Arg0
            }

            Method (_BQC, 0, NotSerialized)
            {
                Return (BLVL)
            }
        }
    }
}
