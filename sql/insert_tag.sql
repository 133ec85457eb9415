-- One tag of session $1: key $2, value $3.
INSERT INTO zel_tag (session_id, tag_key, tag_value) VALUES ($1, $2, $3)
