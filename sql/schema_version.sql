-- The store's layout version (schema.sql).
SELECT version FROM zel_schema
