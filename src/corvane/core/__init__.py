"""The framework's core: enumerations, records and the instrument model."""
